#include "RecordFields.h"

#include <QJsonArray>
#include <climits>
#include <cmath>

QJsonValue fieldToJson(FieldType type, const QVariant& v)
{
    switch (type) {
    case FieldType::Uuid:
        return uuidText(v.toUuid());
    case FieldType::String:
        return v.toString();
    case FieldType::Bool:
        return v.toBool();
    case FieldType::Int:
        return v.toLongLong();
    case FieldType::Double:
        return v.toDouble();
    case FieldType::Date:
        return DateTime::toIsoMillis(v.toDateTime());
    case FieldType::Bytes:
        return QString::fromLatin1(v.toByteArray().toBase64());
    }
    return {};
}

std::optional<QVariant> fieldFromJson(FieldType type, const QJsonValue& v)
{
    switch (type) {
    case FieldType::Uuid: {
        const QUuid u = QUuid::fromString(v.toString());
        if (!v.isString() || u.isNull())
            return std::nullopt;
        return QVariant::fromValue(u);
    }
    case FieldType::String:
        if (!v.isString())
            return std::nullopt;
        return v.toString();
    case FieldType::Bool:
        if (!v.isBool())
            return std::nullopt;
        return v.toBool();
    case FieldType::Int: {
        // Integer fields are 32-bit: anything else would be cut silently (or be undefined).
        const double d = v.toDouble();
        if (!v.isDouble() || d != std::trunc(d) || d < INT_MIN || d > INT_MAX)
            return std::nullopt;
        return QVariant::fromValue(qint64(d));
    }
    case FieldType::Double:
        if (!v.isDouble())
            return std::nullopt;
        return v.toDouble();
    case FieldType::Date: {
        const auto d = DateTime::fromIso(v.toString());
        if (!d)
            return std::nullopt;
        return *d;
    }
    case FieldType::Bytes:
        if (!v.isString())
            return std::nullopt;
        return QByteArray::fromBase64(v.toString().toLatin1());
    }
    return std::nullopt;
}

// Each table lists the fields in the order of the keys of the backup document.
#define F(R, name, ...) field<&R::name>(#name __VA_OPT__(, ) __VA_ARGS__)

const QList<FieldDef<Transcription>>& RecordSchema<Transcription>::fields()
{
    using R = Transcription;
    static const QList<FieldDef<R>> f{
        F(R, id), F(R, text), F(R, createdAt), F(R, duration), F(R, modeName), F(R, transcriptionProvider),
        F(R, transcriptionModel), F(R, enhancedByAI), F(R, isCloudStarred), F(R, rawWhisperText),
        F(R, afterReplacementsText), F(R, aiOutputText), F(R, userEditedText), F(R, analyzedAt),
        F(R, aiFixCount), F(R, categoryRaw), F(R, purgedAt), F(R, storedWordCount), F(R, storedCharCount),
        F(R, offlinePendingAt, false), F(R, wasMadeOffline), F(R, audioFileName, false),
        F(R, wasSentToComputers, false), F(R, transcriptionSeconds), F(R, aiSeconds),
        F(R, transcriptionCostUSD), F(R, aiCostUSD)};
    return f;
}

const QList<FieldDef<TranscriptionMode>>& RecordSchema<TranscriptionMode>::fields()
{
    using R = TranscriptionMode;
    static const QList<FieldDef<R>> f{
        F(R, id), F(R, name), F(R, icon), F(R, iconForegroundColorRaw), F(R, iconBackgroundColorRaw),
        F(R, transcriptionProviderRaw), F(R, transcriptionModel), F(R, enableAIEnhancement), F(R, aiProviderRaw),
        F(R, aiModel), F(R, aiOverrideProviderRaw), F(R, aiOverrideModel), F(R, promptTemplate),
        F(R, promptPresetID), F(R, language), F(R, trimSilence), F(R, liveTranscription), F(R, nemotronChunkMs),
        F(R, sortOrder), F(R, createdAt), F(R, updatedAt), F(R, lastEditedDeviceID), F(R, lastEditedDeviceName)};
    return f;
}

const QList<FieldDef<PromptPreset>>& RecordSchema<PromptPreset>::fields()
{
    using R = PromptPreset;
    static const QList<FieldDef<R>> f{F(R, id),        F(R, name),      F(R, prompt),
                                      F(R, createdAt), F(R, sortOrder), F(R, isPinned),
                                      F(R, updatedAt), F(R, lastEditedDeviceID), F(R, lastEditedDeviceName),
                                      F(R, isTrashed), F(R, trashedAt)};
    return f;
}

const QList<FieldDef<DictionaryEntry>>& RecordSchema<DictionaryEntry>::fields()
{
    using R = DictionaryEntry;
    static const QList<FieldDef<R>> f{
        F(R, id),        F(R, term),       F(R, pronunciationsRaw), F(R, replacement), F(R, scopesRaw),
        F(R, isPinned),  F(R, usageCount), F(R, createdAt),         F(R, lastUsedAt),  F(R, note),
        F(R, origin), F(R, updatedAt), F(R, lastEditedDeviceID), F(R, lastEditedDeviceName)};
    return f;
}

const QList<FieldDef<Note>>& RecordSchema<Note>::fields()
{
    using R = Note;
    static const QList<FieldDef<R>> f{F(R, id),        F(R, title),     F(R, content),
                                      F(R, isFavorite), F(R, createdAt), F(R, updatedAt),
                                      F(R, assistantTranscriptJSON), F(R, recordingModeID),
                                      F(R, lastEditedDeviceID), F(R, lastEditedDeviceName)};
    return f;
}

const QList<FieldDef<DeletionTombstone>>& RecordSchema<DeletionTombstone>::fields()
{
    using R = DeletionTombstone;
    static const QList<FieldDef<R>> f{F(R, id, false), F(R, recordID), F(R, typeRaw), F(R, deletedAt)};
    return f;
}

const QList<FieldDef<APIUsageRecord>>& RecordSchema<APIUsageRecord>::fields()
{
    using R = APIUsageRecord;
    static const QList<FieldDef<R>> f{F(R, id),          F(R, date),         F(R, providerRaw),
                                      F(R, model),       F(R, kindRaw),      F(R, inputTokens),
                                      F(R, outputTokens), F(R, audioSeconds), F(R, costUSD)};
    return f;
}

const QList<FieldDef<TransformationStat>>& RecordSchema<TransformationStat>::fields()
{
    using R = TransformationStat;
    static const QList<FieldDef<R>> f{F(R, id), F(R, fixCount), F(R, wordCount), F(R, source), F(R, createdAt)};
    return f;
}

const QList<FieldDef<LearningSuggestion>>& RecordSchema<LearningSuggestion>::fields()
{
    using R = LearningSuggestion;
    static const QList<FieldDef<R>> f{
        F(R, id),   F(R, createdAt),    F(R, kindRaw),     F(R, title),
        F(R, rationale), F(R, suggestedTerm), F(R, suggestedPronunciationsRaw), F(R, suggestedReplacement),
        F(R, suggestedScopesRaw), F(R, suggestedPromptText), F(R, statusRaw), F(R, reviewedAt),
        F(R, appliedToPresetID)};
    return f;
}

const QList<FieldDef<PromptVersion>>& RecordSchema<PromptVersion>::fields()
{
    using R = PromptVersion;
    static const QList<FieldDef<R>> f{F(R, id),     F(R, presetID),  F(R, name),
                                      F(R, prompt), F(R, createdAt), F(R, originRaw)};
    return f;
}

const QList<FieldDef<KeyBackup>>& RecordSchema<KeyBackup>::fields()
{
    using R = KeyBackup;
    static const QList<FieldDef<R>> f{F(R, id),   F(R, createdAt), F(R, updatedAt),
                                      F(R, salt), F(R, verifier),  F(R, encryptedPayload)};
    return f;
}
#undef F
