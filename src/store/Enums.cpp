#include "Enums.h"

#include <array>

namespace {
template <class E, size_t N>
std::optional<E> decode(const std::array<const char*, N>& raws, const QString& raw)
{
    for (size_t i = 0; i < N; ++i)
        if (raw == QLatin1String(raws[i]))
            return E(i);
    return std::nullopt;
}

constexpr std::array<const char*, 5> kAIProviderRaw{"claude", "openai", "gemini", "groq", "appleIntelligence"};
constexpr std::array<const char*, 6> kTranscriptionProviderRaw{"groq",     "openai",     "apple",
                                                               "parakeet", "whisperKit", "gemini"};
constexpr std::array<const char*, 6> kCategoryRaw{"ai_prompt", "other_task", "work_message",
                                                  "document",  "email",      "personal_message"};
constexpr std::array<const char*, 6> kCategoryLabel{"AI prompts", "Other tasks", "Work messages",
                                                    "Documents",  "Emails",      "Personal messages"};
constexpr std::array<const char*, 5> kRecordingStateRaw{"idle", "recording", "transcribing", "enhancing",
                                                        "finished"};
constexpr std::array<const char*, 3> kScopeNames{"transcription", "replacement", "transformation"};
} // namespace

QString rawValue(AIProvider p) { return QLatin1String(kAIProviderRaw[size_t(p)]); }
QString rawValue(TranscriptionProvider p) { return QLatin1String(kTranscriptionProviderRaw[size_t(p)]); }
QString rawValue(TranscriptionCategory c) { return QLatin1String(kCategoryRaw[size_t(c)]); }
QString rawValue(RecordingState s) { return QLatin1String(kRecordingStateRaw[size_t(s)]); }
QString label(TranscriptionCategory c) { return QLatin1String(kCategoryLabel[size_t(c)]); }

std::optional<AIProvider> aiProviderFromRaw(const QString& raw) { return decode<AIProvider>(kAIProviderRaw, raw); }
std::optional<TranscriptionProvider> transcriptionProviderFromRaw(const QString& raw)
{
    return decode<TranscriptionProvider>(kTranscriptionProviderRaw, raw);
}
std::optional<TranscriptionCategory> categoryFromRaw(const QString& raw)
{
    return decode<TranscriptionCategory>(kCategoryRaw, raw);
}

const QList<AIProvider>& allAIProviders()
{
    static const QList<AIProvider> all{AIProvider::claude, AIProvider::openai, AIProvider::gemini, AIProvider::groq,
                                       AIProvider::appleIntelligence};
    return all;
}
const QList<TranscriptionProvider>& allTranscriptionProviders()
{
    static const QList<TranscriptionProvider> all{TranscriptionProvider::groq,     TranscriptionProvider::openai,
                                                  TranscriptionProvider::apple,    TranscriptionProvider::parakeet,
                                                  TranscriptionProvider::whisperKit, TranscriptionProvider::gemini};
    return all;
}
const QList<TranscriptionCategory>& allCategories()
{
    static const QList<TranscriptionCategory> all{
        TranscriptionCategory::aiPrompt, TranscriptionCategory::otherTask, TranscriptionCategory::workMessage,
        TranscriptionCategory::document, TranscriptionCategory::email,     TranscriptionCategory::personalMessage};
    return all;
}

bool isCloud(TranscriptionProvider p)
{
    return p == TranscriptionProvider::groq || p == TranscriptionProvider::openai ||
           p == TranscriptionProvider::gemini;
}

namespace DictionaryScopes {
QStringList names(int bits)
{
    QStringList out;
    for (size_t i = 0; i < kScopeNames.size(); ++i)
        if (bits & (1 << i))
            out << QLatin1String(kScopeNames[i]);
    return out;
}
int fromNames(const QStringList& names)
{
    int bits = 0;
    for (const QString& n : names)
        for (size_t i = 0; i < kScopeNames.size(); ++i)
            if (n == QLatin1String(kScopeNames[i]))
                bits |= 1 << i;
    return bits;
}
} // namespace DictionaryScopes
