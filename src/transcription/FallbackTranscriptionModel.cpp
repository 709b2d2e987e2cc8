#include "FallbackTranscriptionModel.h"

#include "store/Settings.h"

namespace {

struct Named
{
    const char* id;
    const char* name;
};

constexpr Named kWhisperModels[] = {
    {"openai_whisper-tiny", "Tiny"},
    {"openai_whisper-base", "Base"},
    {"openai_whisper-small", "Small"},
    {"openai_whisper-large-v3-v20240930_626MB", "Large v3 Turbo (compressé)"},
    {"openai_whisper-large-v3", "Large v3"},
};

constexpr Named kNvidiaModels[] = {
    {"parakeet-tdt-0.6b-v3", "Parakeet TDT v3"},
    {"parakeet-unified-0.6b", "Parakeet Unified (anglais)"},
    {"nemotron-en-0.6b", "Nemotron (anglais)"},
    {"nemotron-latin-0.6b", "Nemotron latin"},
    {"nemotron-multilingual-0.6b", "Nemotron multilingue"},
};

bool isWhisper(const QString& id)
{
    return std::any_of(std::begin(kWhisperModels), std::end(kWhisperModels),
                       [&](const Named& m) { return id == QLatin1String(m.id); });
}

FallbackTranscriptionModel::Resolved appleSpeech()
{
    return {TranscriptionProvider::apple, QString(), QStringLiteral("Apple Speech")};
}

} // namespace

namespace FallbackTranscriptionModel {

QStringList localModelIDs(TranscriptionProvider provider)
{
    QStringList ids;
    if (provider == TranscriptionProvider::whisperKit)
        for (const Named& m : kWhisperModels)
            ids << QLatin1String(m.id);
    if (provider == TranscriptionProvider::parakeet)
        for (const Named& m : kNvidiaModels)
            ids << QLatin1String(m.id);
    return ids;
}

QString localModelName(const QString& modelID)
{
    for (const Named& m : kWhisperModels)
        if (modelID == QLatin1String(m.id))
            return QStringLiteral("Whisper ") + QString::fromUtf8(m.name);
    for (const Named& m : kNvidiaModels)
        if (modelID == QLatin1String(m.id))
            return QString::fromUtf8(m.name);
    return {};
}

QList<Choice> choices(const LocalModelServices& models)
{
    QList<Choice> list{{QString::fromLatin1(kDefaultID), QStringLiteral("Apple Speech (par défaut)")}};
    for (const Named& m : kWhisperModels)
        if (models.isDownloaded(QLatin1String(m.id)))
            list.append({QLatin1String(m.id), localModelName(QLatin1String(m.id))});
    for (const Named& m : kNvidiaModels) {
        // The two multilingual Nemotron variants are one choice: the one on disk.
        if (models.isDownloaded(QLatin1String(m.id)))
            list.append({QLatin1String(m.id), localModelName(QLatin1String(m.id))});
    }
    return list;
}

Resolved resolve(const QString& storedID, const LocalModelServices& models)
{
    const QString name = localModelName(storedID);
    if (name.isEmpty() || !models.isDownloaded(storedID))
        return appleSpeech();
    if (isWhisper(storedID))
        return {TranscriptionProvider::whisperKit, storedID, name};
    return {TranscriptionProvider::parakeet, storedID, name};
}

Resolved resolve(const Settings& settings, const LocalModelServices& models)
{
    return resolve(settings.stringValue(SharedDefaultsKey::fallbackTranscriptionModel).value_or(QString::fromLatin1(kDefaultID)),
                   models);
}

} // namespace FallbackTranscriptionModel
