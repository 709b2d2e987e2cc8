#include "AIModelCatalog.h"

namespace AIModelCatalog {

const QList<AIModel>& models(AIProvider provider)
{
    static const QList<AIModel> claude{
        {"claude-fable-5", "Claude Fable 5"},       {"claude-opus-5", "Claude Opus 5"},
        {"claude-opus-4-8", "Claude Opus 4.8"},     {"claude-opus-4-7", "Claude Opus 4.7"},
        {"claude-sonnet-5", "Claude Sonnet 5"},     {"claude-sonnet-4-6", "Claude Sonnet 4.6"},
        {"claude-haiku-4-5", "Claude Haiku 4.5"},
    };
    static const QList<AIModel> openai{
        {"gpt-5.6-sol", "GPT-5.6 Sol"},
        {"gpt-5.6-terra", "GPT-5.6 Terra"},
        {"gpt-5.6-luna", "GPT-5.6 Luna"},
        {"gpt-5.5", "GPT-5.5"},
        {"gpt-5.5-pro", "GPT-5.5 Pro"},
        {"gpt-5.4", "GPT-5.4"},
        {"gpt-5.4-mini", "GPT-5.4 Mini"},
        {"gpt-5.4-nano", "GPT-5.4 Nano"},
        {"gpt-5", "GPT-5 (ancien)"},
        {"gpt-5-mini", "GPT-5 Mini (ancien)"},
        {"gpt-5-nano", "GPT-5 Nano (ancien)"},
        {"gpt-4o-mini", "GPT-4o Mini (ancien)"},
    };
    static const QList<AIModel> gemini{
        {"gemini-3.6-flash", "Gemini 3.6 Flash"},
        {"gemini-3.1-pro-preview", "Gemini 3.1 Pro Preview"},
        {"gemini-3.5-flash", "Gemini 3.5 Flash"},
        {"gemini-3.5-flash-lite", "Gemini 3.5 Flash Lite"},
        {"gemini-3.1-flash-lite", "Gemini 3.1 Flash Lite"},
        {"gemini-2.5-pro", "Gemini 2.5 Pro"},
        {"gemini-2.5-flash", "Gemini 2.5 Flash"},
        {"gemini-2.5-flash-lite", "Gemini 2.5 Flash Lite"},
        {"gemma-4-31b-it", "Gemma 4 31B"},
        {"gemma-4-26b-a4b-it", "Gemma 4 26B (MoE)"},
    };
    static const QList<AIModel> groq{
        {"openai/gpt-oss-120b", "GPT-OSS 120B"},
        {"openai/gpt-oss-20b", "GPT-OSS 20B"},
        {"qwen/qwen3.6-27b", "Qwen 3.6 27B"},
    };
    static const QList<AIModel> apple{{"apple-on-device", "Apple Intelligence"}};
    switch (provider) {
    case AIProvider::claude:
        return claude;
    case AIProvider::openai:
        return openai;
    case AIProvider::gemini:
        return gemini;
    case AIProvider::groq:
        return groq;
    case AIProvider::appleIntelligence:
        return apple;
    }
    return apple;
}

QString providerDisplayName(AIProvider provider)
{
    switch (provider) {
    case AIProvider::claude:
        return QStringLiteral("Anthropic");
    case AIProvider::openai:
        return QStringLiteral("OpenAI");
    case AIProvider::gemini:
        return QStringLiteral("Google Gemini");
    case AIProvider::groq:
        return QStringLiteral("Groq");
    case AIProvider::appleIntelligence:
        return QStringLiteral("Modèle local"); // the machine's own model: a local server here
    }
    return {};
}

QString modelDisplayName(const QString& modelID)
{
    for (AIProvider p : allAIProviders())
        for (const AIModel& m : models(p))
            if (m.id == modelID)
                return m.name;
    return modelID;
}

} // namespace AIModelCatalog
