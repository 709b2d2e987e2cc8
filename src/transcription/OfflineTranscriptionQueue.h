#pragma once
// Keeps dictations made without network on disk and transcribes them, one at a time, when the
// network comes back: vocabulary, the AI rewrite the mode asked for, and the history record.
// The folder is the only state: a crash or a reboot loses nothing.
#include "OfflineQueue.h"
#include "PendingMeta.h"
#include "TranscriptionError.h"

#include <QCoroTask>
#include <QObject>
#include <QSet>
#include <QUuid>
#include <functional>

class CategorizationTrigger;
class ChatClient;
class DebugLog;
class NetworkPathMonitor;
class RecordStore;
class Settings;
class StatsRefresher;
class Transcriber;

class OfflineTranscriptionQueue : public QObject, public OfflineQueue
{
    Q_OBJECT
    Q_PROPERTY(int pendingCount READ pendingCount NOTIFY pendingCountChanged)
public:
    static constexpr int kMaxPendingItems = 100;
    static constexpr qint64 kMaxPendingAgeSeconds = 2'592'000;
    static constexpr const char* kFolderName = "PendingTranscriptions";
    // Items that cannot be processed wait here for the user, never deleted by us.
    static constexpr const char* kSetAsideFolderName = "Ecartees";

    struct Dependencies
    {
        NetworkPathMonitor& monitor;
        RecordStore& store;
        Settings& settings;
        DebugLog& log;
        CategorizationTrigger* categorization = nullptr;
        StatsRefresher* stats = nullptr;
        std::function<QDateTime()> clock = {};
        // Where a dropped item's recording goes instead of being deleted (the failed
        // dictations, which the user can transcribe again); false when it could not be taken.
        std::function<bool(const QString& audioFile, const PendingMeta& item, const QString& error)> keepFailed = {};
    };

    OfflineTranscriptionQueue(QString folder, Dependencies deps, QObject* parent = nullptr);
    ~OfflineTranscriptionQueue() override;

    // Once: watches the network and drains what an earlier run left.
    void start(Transcriber& transcriber, ChatClient& chat);
    bool isStarted() const { return m_started; }

    // Takes over the recording. The message when it could not be kept (it then stays where it was).
    std::optional<QString> enqueue(const QString& audioFile, const TranscriptionMode& mode, const QString& prompt,
                                   double duration) override;
    // The same with a history record to fill in later.
    std::optional<QString> enqueueItem(const QString& audioFile, const TranscriptionMode& mode, const QString& prompt,
                                       double duration, std::optional<QUuid> transcriptionID);

    // Safe at any time: a drain asked for during another runs once more afterwards. Two
    // processes never drain the same folder together: the second one skips its drain.
    QCoro::Task<> drain();

    // What one drain did, for the command line.
    struct DrainReport
    {
        QList<QUuid> transcribed; // their history records, oldest first
        QStringList dropped;      // the item, then why
        QStringList setAside;
        bool offline = false; // stopped by the network, the rest waits
        bool busy = false;    // another process was draining
    };
    // One drain without watching the network, for a process that does not run start().
    QCoro::Task<DrainReport> drainOnce(Transcriber& transcriber, ChatClient& chat);

    int pendingCount() const { return m_pendingCount; }
    const QSet<QUuid>& processingIDs() const { return m_processingIDs; }
    QString folder() const { return m_folder; }
    // Items waiting, oldest first; undecodable ones are left out.
    QList<PendingMeta> pendingItems() const;

Q_SIGNALS:
    void pendingCountChanged(int count);
    void processingIDsChanged();
    // One drain ran to its end (everything done, or stopped by the network).
    void drained();

private:
    enum class Outcome { done, dropped, offline };
    QCoro::Task<Outcome> process(PendingMeta item);
    void prune();
    void removeItem(const PendingMeta& item, bool withRecord);
    void setAside(const QString& metaFile, const QString& why);
    void recount();
    QString metaPath(const QUuid& id) const;
    QDateTime now() const;

    QString m_folder;
    Dependencies m_deps;
    Transcriber* m_transcriber = nullptr;
    ChatClient* m_chat = nullptr;
    int m_pendingCount = 0;
    QSet<QUuid> m_processingIDs;
    bool m_started = false;
    bool m_isProcessing = false;
    bool m_rerunAfterDrain = false;
    DrainReport* m_report = nullptr;
};
