#include "CloudProviderCatalog.h"

#include "ai/AIProviderSettings.h"

namespace {

QUrl console(const char* address)
{
    const QUrl url(QString::fromLatin1(address), QUrl::StrictMode);
    return url.isValid() ? url : QUrl::fromLocalFile(QStringLiteral("/"));
}

} // namespace

namespace CloudProviderCatalog {

const QList<CloudProviderInfo>& all()
{
    static const QList<CloudProviderInfo> providers{
        {QStringLiteral("groq"), QStringLiteral("Groq"), QStringLiteral("bolt.fill"), KeychainKey::groqAPIKey,
         console("https://console.groq.com/keys"),
         {QStringLiteral("whisper-large-v3-turbo"), QStringLiteral("whisper-large-v3")},
         AIProviderSettings::chatModels(AIProvider::groq)},
        {QStringLiteral("openai"), QStringLiteral("OpenAI"), QStringLiteral("sparkles"), KeychainKey::openAIAPIKey,
         console("https://platform.openai.com/api-keys"),
         {QStringLiteral("gpt-4o-transcribe"), QStringLiteral("gpt-4o-mini-transcribe"), QStringLiteral("whisper-1")},
         AIProviderSettings::chatModels(AIProvider::openai)},
        {QStringLiteral("anthropic"), QStringLiteral("Anthropic"), QStringLiteral("brain.head.profile"),
         KeychainKey::anthropicAPIKey, console("https://console.anthropic.com/settings/keys"), {},
         AIProviderSettings::chatModels(AIProvider::claude)},
        {QStringLiteral("gemini"), QStringLiteral("Google Gemini"), QStringLiteral("g.circle.fill"),
         KeychainKey::geminiAPIKey, console("https://aistudio.google.com/apikey"),
         {QStringLiteral("gemini-2.5-flash"), QStringLiteral("gemini-3.5-flash")},
         AIProviderSettings::chatModels(AIProvider::gemini)},
    };
    return providers;
}

std::optional<CloudProviderInfo> find(const QString& id)
{
    for (const CloudProviderInfo& p : all())
        if (p.id == id)
            return p;
    return std::nullopt;
}

} // namespace CloudProviderCatalog
