#pragma once
// The records of the local store. Plain values; defaults are those of a new record.
#include "DateTime.h"
#include "Enums.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QUuid>
#include <optional>

struct Transcription
{
    QUuid id = QUuid::createUuid();
    QString text;
    QDateTime createdAt = DateTime::now();
    double duration = 0;
    QString modeName;
    QString transcriptionProvider;
    QString transcriptionModel;
    bool enhancedByAI = false;
    bool isCloudStarred = false;
    std::optional<QString> rawWhisperText;
    std::optional<QString> afterReplacementsText;
    std::optional<QString> aiOutputText;
    std::optional<QString> userEditedText;
    std::optional<QDateTime> analyzedAt;
    std::optional<int> aiFixCount;
    std::optional<QString> categoryRaw;
    std::optional<QDateTime> purgedAt;
    std::optional<int> storedWordCount;
    std::optional<int> storedCharCount;
    std::optional<QDateTime> offlinePendingAt;
    bool wasMadeOffline = false;
    std::optional<QString> audioFileName;
    bool wasSentToComputers = false;
    std::optional<double> transcriptionSeconds;
    std::optional<double> aiSeconds;
    std::optional<double> transcriptionCostUSD;
    std::optional<double> aiCostUSD;

    // The text the user actually dictated: what word and character statistics count.
    QString spokenText() const;
    std::optional<TranscriptionCategory> category() const;
    // Keeps the counts of spokenText and empties every text (retention).
    void purgeContent();
};

struct TranscriptionMode
{
    QUuid id = QUuid::createUuid();
    QString name = QStringLiteral("Normal");
    QString icon = QStringLiteral("waveform");
    QString iconForegroundColorRaw = QStringLiteral("default");
    QString iconBackgroundColorRaw = QStringLiteral("default");
    QString transcriptionProviderRaw = QStringLiteral("groq");
    QString transcriptionModel = QStringLiteral("whisper-large-v3-turbo");
    bool enableAIEnhancement = false;
    QString aiProviderRaw = QStringLiteral("claude");
    QString aiModel = QStringLiteral("claude-sonnet-4-6");
    std::optional<QString> aiOverrideProviderRaw;
    std::optional<QString> aiOverrideModel;
    QString promptTemplate;
    std::optional<QUuid> promptPresetID;
    QString language = QStringLiteral("auto");
    bool trimSilence = false;
    std::optional<int> nemotronChunkMs;
    bool liveTranscription = false;
    int sortOrder = 0;
    QDateTime createdAt = DateTime::now();
    QDateTime updatedAt = DateTime::now();
    QString lastEditedDeviceID;
    QString lastEditedDeviceName;
};

struct PromptPreset
{
    QUuid id = QUuid::createUuid();
    QString name;
    QString prompt;
    QDateTime createdAt = DateTime::now();
    int sortOrder = 0;
    QDateTime updatedAt = DateTime::now();
    QString lastEditedDeviceID;
    QString lastEditedDeviceName;
    bool isPinned = false;
    bool isTrashed = false;
    std::optional<QDateTime> trashedAt;
};

struct DictionaryEntry
{
    QUuid id = QUuid::createUuid();
    QString term;
    QString pronunciationsRaw;
    std::optional<QString> replacement;
    int scopesRaw = DictionaryScopes::transcription | DictionaryScopes::transformation;
    bool isPinned = false;
    int usageCount = 0;
    QDateTime createdAt = DateTime::now();
    std::optional<QDateTime> lastUsedAt;
    std::optional<QString> note;
    QDateTime updatedAt = DateTime::now();
    QString lastEditedDeviceID;
    QString lastEditedDeviceName;
    QString origin = QStringLiteral("user");

    QStringList pronunciations() const;
    void setPronunciations(const QStringList& items);
};

struct Note
{
    QUuid id = QUuid::createUuid();
    QString title;
    QString content;
    bool isFavorite = false;
    QDateTime createdAt = DateTime::now();
    QDateTime updatedAt = DateTime::now();
    QString lastEditedDeviceID;
    QString lastEditedDeviceName;
    std::optional<QString> assistantTranscriptJSON;
    std::optional<QUuid> recordingModeID;

    QString displayTitle() const;
};

struct DeletionTombstone
{
    QUuid id = QUuid::createUuid();
    QUuid recordID = QUuid::createUuid();
    QString typeRaw;
    QDateTime deletedAt = DateTime::now();
};

struct APIUsageRecord
{
    QUuid id = QUuid::createUuid();
    QDateTime date = DateTime::now();
    QString providerRaw;
    QString model;
    QString kindRaw;
    int inputTokens = 0;
    int outputTokens = 0;
    double audioSeconds = 0;
    double costUSD = 0;
};

struct TransformationStat
{
    QUuid id = QUuid::createUuid();
    int fixCount = 0;
    int wordCount = 0;
    QString source;
    QDateTime createdAt = DateTime::now();
};

struct LearningSuggestion
{
    QUuid id = QUuid::createUuid();
    QDateTime createdAt = DateTime::now();
    QString kindRaw = QStringLiteral("newEntry");
    QString title;
    QString rationale;
    std::optional<QString> suggestedTerm;
    std::optional<QString> suggestedPronunciationsRaw;
    std::optional<QString> suggestedReplacement;
    int suggestedScopesRaw = 0;
    std::optional<QString> suggestedPromptText;
    QString statusRaw = QStringLiteral("pending");
    std::optional<QDateTime> reviewedAt;
    std::optional<QUuid> appliedToPresetID;
};

struct PromptVersion
{
    QUuid id = QUuid::createUuid();
    QUuid presetID = QUuid::createUuid();
    QString name;
    QString prompt;
    QDateTime createdAt = DateTime::now();
    QString originRaw = QStringLiteral("edit");
};

struct KeyBackup
{
    QUuid id = QUuid::createUuid();
    QDateTime createdAt = DateTime::now();
    QDateTime updatedAt = DateTime::now();
    QByteArray salt;
    QByteArray verifier;
    QByteArray encryptedPayload;
};

// Records edited on several devices: deleting one leaves a tombstone of this type string.
template <class R>
struct SyncEditable : std::false_type
{
};
template <>
struct SyncEditable<TranscriptionMode> : std::true_type
{
    static constexpr const char* typeRaw = "mode";
};
template <>
struct SyncEditable<PromptPreset> : std::true_type
{
    static constexpr const char* typeRaw = "prompt";
};
template <>
struct SyncEditable<DictionaryEntry> : std::true_type
{
    static constexpr const char* typeRaw = "dictionary";
};
template <>
struct SyncEditable<Note> : std::true_type
{
    static constexpr const char* typeRaw = "note";
};
template <class R>
concept SyncEditableRecord = SyncEditable<R>::value;

// Number of non-empty pieces between white-space characters of any kind.
int wordCount(const QString& text);
// Characters as a reader counts them: grapheme clusters, so "é" written as e + accent, an emoji
// with its modifiers or a flag count one each.
int characterCount(const QString& text);
