#pragma once
// The one JSON document that carries all of the user's records: written by the export, read by
// the import, wrapped by the cloud-drive sync. API keys are never part of it.
#include "stats/BackupStats.h"
#include "store/Expected.h"
#include "store/RecordFields.h"

#include <QByteArray>
#include <QIODevice>
#include <QJsonObject>
#include <QMap>
#include <QStringList>
#include <optional>

class RecordStore;
class Settings;
struct WidgetLayouts;

struct BackupError
{
    QString message;
};

// A record as the document carried it: which of its keys were present matters to the merge.
template <class R>
struct BackupItem
{
    R record;
    quint64 presentKeys = ~quint64(0); // bit i: the i-th field of the record's table

    bool has(const char* name) const
    {
        const auto& fields = RecordSchema<R>::fields();
        for (qsizetype i = 0; i < fields.size(); ++i)
            if (qstrcmp(fields[i].name, name) == 0)
                return presentKeys & (quint64(1) << i);
        return false;
    }
};

struct BackupPayload
{
    static constexpr int kSchema = 1;
    static constexpr const char* kApp = "Ovra";
    static constexpr const char* kProposedFileName = "ovra-donnees.json";

    int schema = kSchema;
    QString app = QLatin1String(kApp);
    QDateTime exportedAt;
    QList<BackupItem<PromptPreset>> prompts;
    QList<BackupItem<TranscriptionMode>> modes;
    QList<BackupItem<Note>> notes;
    QList<BackupItem<DictionaryEntry>> dictionary;
    QList<Transcription> transcriptions;
    QList<LearningSuggestion> learning;
    QList<APIUsageRecord> usage;
    std::optional<BackupStats> stats;
    std::optional<QList<DeletionTombstone>> tombstones;
    std::optional<QList<TransformationStat>> transformStats;
    std::optional<QMap<QString, QStringList>> widgetLayouts;
    std::optional<QDateTime> widgetLayoutsUpdatedAt;
};

// Every record of the store, the statistics and the widget layouts, exported now.
BackupPayload makePayload(const RecordStore& store, const Settings& settings, const QDateTime& now = DateTime::now());
// The records only, each kind in id order, without the statistics (the sync's digest needs no more).
BackupPayload makeRecordsPayload(const RecordStore& store, const Settings& settings, const QDateTime& now = DateTime::now());
QByteArray encode(const BackupPayload& payload);
// The same, streamed to a device; false when the device refused a write.
bool encodeTo(const BackupPayload& payload, QIODevice& out);
// Refuses anything that is not the document: the error names the cause.
Expected<BackupPayload, BackupError> decode(const QByteArray& bytes);
// The same, for a document already parsed (the sync file wraps it).
Expected<BackupPayload, BackupError> decode(const QJsonObject& document);

// The export: the document streamed from the store to out, record by record.
Expected<void, BackupError> writeBackup(const RecordStore& store, const Settings& settings, QIODevice& out,
                                        const QDateTime& now = DateTime::now());
// The same with the widget layouts already read: usable from a worker thread, away from the settings.
Expected<void, BackupError> writeBackup(const RecordStore& store, const WidgetLayouts& widgetLayouts, QIODevice& out,
                                        const QDateTime& now = DateTime::now());
// Written to a temporary file renamed over path once complete: a failed export leaves path as it was.
Expected<void, BackupError> exportBackupFile(const RecordStore& store, const Settings& settings, const QString& path);
Expected<void, BackupError> exportBackupFile(const RecordStore& store, const WidgetLayouts& widgetLayouts,
                                             const QString& path);
