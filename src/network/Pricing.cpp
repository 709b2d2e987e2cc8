#include "Pricing.h"

#include <QHash>
#include <QLocale>

namespace {

constexpr double kCADPerUSD = 1.41;

struct ChatPrice
{
    double input;
    double output;
};

const QHash<QString, double>& transcriptionPrices()
{
    static const QHash<QString, double> table{
        {"whisper-large-v3", 0.00185},     {"whisper-large-v3-turbo", 0.04 / 60}, {"whisper-1", 0.006},
        {"gpt-4o-transcribe", 0.006},      {"gpt-4o-mini-transcribe", 0.003},    {"gemini-2.5-flash", 0.002},
        {"gemini-3.5-flash", 0.004},
    };
    return table;
}

const QHash<QString, ChatPrice>& chatPrices()
{
    static const QHash<QString, ChatPrice> table{
        {"claude-fable-5", {10.00, 50.00}},
        {"claude-opus-5", {5.00, 25.00}},
        {"claude-opus-4-8", {5.00, 25.00}},
        {"claude-opus-4-7", {5.00, 25.00}},
        {"claude-sonnet-5", {2.00, 10.00}},
        {"claude-sonnet-4-6", {3.00, 15.00}},
        {"claude-haiku-4-5", {1.00, 5.00}},
        {"gpt-5.6-sol", {5.00, 30.00}},
        {"gpt-5.6-terra", {2.50, 15.00}},
        {"gpt-5.6-luna", {1.00, 6.00}},
        {"gpt-5.5", {5.00, 30.00}},
        {"gpt-5.5-pro", {30.00, 180.00}},
        {"gpt-5.4", {2.50, 15.00}},
        {"gpt-5.4-mini", {0.75, 4.50}},
        {"gpt-5.4-nano", {0.20, 1.25}},
        {"gpt-5", {1.25, 10.00}},
        {"gpt-5-mini", {0.25, 2.00}},
        {"gpt-5-nano", {0.05, 0.40}},
        {"gpt-4.1", {2.00, 8.00}},
        {"gpt-4o", {2.50, 10.00}},
        {"gpt-4o-mini", {0.15, 0.60}},
        {"gemini-3.1-pro-preview", {2.00, 12.00}},
        {"gemini-3.6-flash", {1.50, 7.50}},
        {"gemini-3.5-flash", {1.50, 9.00}},
        {"gemini-3.5-flash-lite", {0.30, 2.50}},
        {"gemini-3.1-flash-lite", {0.25, 1.50}},
        {"gemini-2.5-pro", {1.25, 10.00}},
        {"gemini-2.5-flash", {0.30, 2.50}},
        {"gemini-2.5-flash-lite", {0.10, 0.40}},
        {"gemini-2.0-flash", {0.10, 0.40}},
        {"gemini-2.0-flash-lite", {0.075, 0.30}},
        {"gemma-4-31b-it", {0, 0}},
        {"gemma-4-26b-a4b-it", {0, 0}},
        {"openai/gpt-oss-120b", {0.15, 0.75}},
        {"openai/gpt-oss-20b", {0.10, 0.50}},
        {"qwen/qwen3.6-27b", {0.60, 3.00}},
    };
    return table;
}

} // namespace

double transcriptionPricePerMinute(const QString& model) { return transcriptionPrices().value(model, 0.006); }

double transcriptionCost(const QString& model, double audioSeconds)
{
    return audioSeconds / 60.0 * transcriptionPricePerMinute(model);
}

double chatCost(const QString& model, qint64 inputTokens, qint64 outputTokens)
{
    const ChatPrice price = chatPrices().value(model, ChatPrice{1.00, 5.00});
    return double(inputTokens) / 1'000'000.0 * price.input + double(outputTokens) / 1'000'000.0 * price.output;
}

QString formatCost(double dollars)
{
    const double cad = dollars * kCADPerUSD;
    const int decimals = (cad > 0 && cad < 0.01) ? 4 : 2;
    const QLocale locale(QLocale::French, QLocale::Canada);
    return locale.toCurrencyString(cad, QStringLiteral("$"), decimals);
}
