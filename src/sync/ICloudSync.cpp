#include "ICloudSync.h"

#include "BackupImporter.h"
#include "SecretsBackupService.h"
#include "TransformStatDedup.h"
#include "ai/PinnedPresets.h"
#include "WidgetLayoutSettings.h"
#include "stats/StatsRefresher.h"
#include "store/AppSettingsKeys.h"
#include "store/DebugLog.h"
#include "store/Notifications.h"
#include "store/RecordStore.h"
#include "store/Settings.h"

#include <QCoroFuture>
#include <QCoroTimer>
#include <QCryptographicHash>
#include <QFileInfo>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>
#include <chrono>

using namespace std::chrono_literals;

namespace {

constexpr auto kDownloadPoll = 250ms;
constexpr auto kDownloadWait = 6s;
const QString kTag = QStringLiteral("SYNC");

QString stampText(const QString& path, const CloudFolder::Stamp& s, qint64 version, const QString& digest)
{
    return QStringLiteral("%1|%2|%3|%4").arg(path, s.text()).arg(version).arg(digest);
}

// What recordCount() gives for the payload of the store, without building it.
qint64 storeCount(const RecordStore& s)
{
    return s.count<PromptPreset>() + s.count<TranscriptionMode>() + s.count<Note>() + s.count<DictionaryEntry>() +
           s.count<Transcription>() + s.count<LearningSuggestion>() + s.count<APIUsageRecord>() +
           s.count<DeletionTombstone>() + s.count<TransformationStat>();
}

struct DecodedCopy
{
    QString name;
    std::optional<SyncEnvelope> envelope; // nothing: unreadable
    QString problem;
};

} // namespace

// What the worker thread brings back from the folder: the sync file and its conflict copies.
struct ICloudSync::RemoteRead
{
    bool failed = false;
    QString failure;
    bool exists = false;
    // The file is the one this device last wrote or applied: not read, its version and digest known.
    bool unchanged = false;
    std::optional<SyncEnvelope> envelope;
    QString digest;
    QString unreadable; // why the file could not be used
    bool newerSchema = false;
    std::optional<CloudFolder::Stamp> stamp;
    QList<DecodedCopy> conflicts;

    static RemoteRead load(const CloudFolder& folder, const QString& lastStamp, qint64 version, const QString& digest)
    {
        RemoteRead r;
        const QString name = QLatin1String(SyncEnvelope::kFileName);
        r.stamp = CloudFolder::stampOf(folder.filePath(name));
        if (r.stamp && !digest.isEmpty() && stampText(folder.filePath(name), *r.stamp, version, digest) == lastStamp) {
            r.exists = r.unchanged = true;
            r.digest = digest;
        }
        auto bytes = r.unchanged ? Expected<std::optional<QByteArray>, CloudFolderError>(std::optional<QByteArray>())
                                 : folder.read(name);
        if (!bytes) {
            r.failed = true;
            r.failure = bytes.error().message;
            return r;
        }
        if (!r.unchanged && bytes->has_value()) {
            r.exists = true;
            auto env = decodeEnvelope(**bytes);
            if (env) {
                r.digest = payloadDigest(env->data);
                r.envelope = std::move(env.value());
            } else {
                r.unreadable = env.error().message;
                r.newerSchema = env.error().newerSchema;
            }
        }
        for (const QString& copy : folder.conflictCopies(name)) {
            DecodedCopy d{copy, std::nullopt, {}};
            auto copyBytes = folder.read(copy);
            if (!copyBytes || !copyBytes->has_value()) {
                d.problem = copyBytes ? QStringLiteral("disparue") : copyBytes.error().message;
            } else if (auto env = decodeEnvelope(**copyBytes)) {
                d.envelope = std::move(env.value());
            } else {
                d.problem = env.error().message;
            }
            r.conflicts.append(std::move(d));
        }
        return r;
    }
};

ICloudSync::ICloudSync(Dependencies deps, QObject* parent)
    : QObject(parent), m_settings(deps.settings), m_log(deps.log), m_notifications(deps.notifications),
      m_rollback(std::move(deps.rollbackFolder)), m_stats(deps.stats)
{
}

ICloudSync::~ICloudSync() = default;

void ICloudSync::setModelContext(RecordStore* store) { m_store = store; }

QString ICloudSync::localStamp() const
{
    const QString marker = m_store ? m_store->changeMarker() : QString();
    if (marker.isEmpty())
        return {};
    // The widget layouts travel in the payload but live in the settings.
    const WidgetLayouts w = WidgetLayouts::read(m_settings);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (auto it = w.layouts.begin(); it != w.layouts.end(); ++it) {
        hash.addData(it.key().toUtf8());
        hash.addData("\x1d");
        for (const QString& item : it.value()) {
            hash.addData(item.toUtf8());
            hash.addData("\x1f");
        }
        hash.addData("\x1e");
    }
    if (w.updatedAt)
        hash.addData(QByteArray::number(w.updatedAt->toMSecsSinceEpoch()));
    return marker + QLatin1Char(':') + QString::fromLatin1(hash.result().toHex());
}

bool ICloudSync::inStep(const CloudFolder& folder) const
{
    const QString name = QLatin1String(SyncEnvelope::kFileName);
    const QString path = folder.filePath(name);
    const QString digest = m_settings.stringValue(AppSettingsKey::syncDigest, QString());
    const QString savedLocal = m_settings.stringValue(QLatin1String(kLocalStampKey), QString());
    if (digest.isEmpty() || savedLocal.isEmpty() || savedLocal != localStamp())
        return false;
    const auto stamp = CloudFolder::stampOf(path);
    if (!stamp || stampText(path, *stamp, m_settings.intValue(AppSettingsKey::syncVersion, 0), digest) !=
                      m_settings.stringValue(QLatin1String(kFileStampKey), QString()))
        return false;
    return folder.conflictCopies(name).isEmpty() && !folder.isDownloading(name, false);
}

void ICloudSync::setMessage(const QString& message)
{
    if (message == m_lastMessage)
        return;
    m_lastMessage = message;
    Q_EMIT lastMessageChanged();
}

void ICloudSync::setSyncing(bool syncing)
{
    if (syncing == m_isSyncing)
        return;
    m_isSyncing = syncing;
    Q_EMIT isSyncingChanged();
}

QCoro::Task<> ICloudSync::sync(bool waitForDownload)
{
    if (m_isSyncing || !m_store)
        co_return;
    setSyncing(true);
    QPointer<ICloudSync> self(this);
    auto running = run(waitForDownload);
    co_await running;
    if (self)
        setSyncing(false);
}

QCoro::Task<> ICloudSync::run(bool waitForDownload)
{
    QPointer<ICloudSync> self(this);
    RecordStore& store = *m_store;
    const QString name = QLatin1String(SyncEnvelope::kFileName);
    // Commits of another process (the command line) count as changes too.
    store.checkExternalChanges();
    TransformStatDedup::runOnce(store, m_settings, m_log);

    const std::optional<CloudFolder> folder = CloudFolder::locate(m_settings);
    if (!folder) {
        setMessage(QString::fromUtf8(kUnavailableMessage));
        co_return;
    }

    // Nothing changed here nor in the file since the last sync, in this run or an earlier one:
    // nothing to read or build.
    if (inStep(*folder)) {
        setMessage(QString::fromUtf8(kUpToDateMessage));
        m_lastSyncedAt = DateTime::now();
        Q_EMIT lastSyncedAtChanged();
        co_return;
    }
    // Whatever happens next, the saved state no longer vouches for the store.
    m_settings.remove(QLatin1String(kLocalStampKey));
    const qint64 storedVersion = m_settings.intValue(AppSettingsKey::syncVersion, 0);
    const QString storedDigest = m_settings.stringValue(AppSettingsKey::syncDigest, QString());

    // Step: wait for a client that is still downloading the file.
    if (folder->hasFileOrPlaceholder(name) && waitForDownload) {
        const auto deadline = std::chrono::steady_clock::now() + kDownloadWait;
        while (folder->isDownloading(name, true) && std::chrono::steady_clock::now() < deadline) {
            auto pause = QCoro::sleepFor(kDownloadPoll);
            co_await pause;
            if (!self)
                co_return;
        }
    }
    const bool stillDownloading = folder->isDownloading(name, false);

    const CloudFolder worker = *folder;
    // Awaited futures are named: GCC 12 mishandles temporaries inside a co_await expression.
    const QString lastStamp = m_settings.stringValue(QLatin1String(kFileStampKey), QString());
    QFuture<RemoteRead> reading = QtConcurrent::run([worker, lastStamp, storedVersion, storedDigest] {
        return RemoteRead::load(worker, lastStamp, storedVersion, storedDigest);
    });
    RemoteRead remote = co_await reading;
    if (!self || !m_store)
        co_return;
    if (remote.failed) {
        setMessage(QStringLiteral("Synchro : ") + remote.failure);
        co_return;
    }
    if (!remote.unreadable.isEmpty())
        m_log.log(QStringLiteral("SYNC fichier distant illisible (corrompu ?) — ignoré : ") + remote.unreadable, kTag);

    BackupImporter importer(store, m_settings, m_log);
    bool applied = false;
    QString message;

    // Conflict copies a client left: each merged, then removed.
    QStringList resolved;
    for (const DecodedCopy& copy : remote.conflicts) {
        if (!copy.envelope) {
            // Never deleted unread: kept aside, then out of the shared folder.
            m_log.log(QStringLiteral("SYNC version en conflit illisible mise de côté (%1) : %2").arg(copy.name, copy.problem),
                      kTag);
            if (m_rollback.keepUnreadable(folder->filePath(copy.name)))
                resolved << copy.name;
            continue;
        }
        const auto merged = importer.importPayload(copy.envelope->data);
        if (!merged) {
            m_log.log(QStringLiteral("SYNC version en conflit non fusionnée (%1) : %2").arg(copy.name, merged.error().message),
                      kTag);
            continue;
        }
        applied = applied || merged->total() > 0;
        m_log.log(QStringLiteral("SYNC version en conflit iCloud fusionnée (v%1)").arg(copy.envelope->version), kTag);
        resolved << copy.name;
    }
    if (!resolved.isEmpty()) {
        QFuture<void> removing = QtConcurrent::run([worker, resolved] {
            for (const QString& copy : resolved)
                (void)worker.remove(copy);
        });
        co_await removing;
        if (!self || !m_store)
            co_return;
    }

    // Apply the remote envelope.
    if (remote.envelope) {
        const SyncEnvelope& env = *remote.envelope;
        const qint64 localVersion = m_settings.intValue(AppSettingsKey::syncVersion, 0);
        const QString localDigest = m_settings.stringValue(AppSettingsKey::syncDigest, QString());
        if (!(env.version <= localVersion && remote.digest == localDigest)) {
            const qint64 remoteCount = recordCount(env.data);
            const qint64 localCount = storeCount(store);
            if (remoteCount == 0 && localCount > 0) {
                message = QString::fromUtf8(kEmptyRemoteMessage);
                m_settings.setValue(AppSettingsKey::syncDigest, QString());
            } else {
                // Complete before anything is applied; taken off the main thread (it reads the whole store).
                auto snapshot = m_rollback.writeInBackground(store.path(), WidgetLayouts::read(m_settings));
                const auto snap = co_await snapshot;
                if (!self || !m_store)
                    co_return;
                if (!snap)
                    m_log.log(QStringLiteral("SYNC instantané de retour arrière impossible : ") + snap.error().message, kTag);
                const auto imported = importer.importPayload(env.data);
                if (!imported) {
                    setMessage(QStringLiteral("Synchro : ") + imported.error().message);
                    co_return;
                }
                m_settings.setValue(AppSettingsKey::syncVersion, env.version);
                m_settings.setValue(AppSettingsKey::syncDigest, remote.digest);
                applied = true;
                message = QString::fromUtf8(kReceivedMessage);
            }
        }
    }
    if (applied) {
        PinnedPresets::publish(store, m_settings);
        if (m_stats)
            m_stats->refresh();
        if (message.isEmpty())
            message = QString::fromUtf8(kReceivedMessage);
        Q_EMIT m_notifications.iCloudSyncDidApplyRemoteData();
    }

    // Write the merged state back when it differs from what was last written or applied.
    // Taken before the records are read: a commit landing meanwhile makes the next sync look again.
    const QString localSide = localStamp();
    BackupPayload local = makeRecordsPayload(store, m_settings);
    const QString digest = payloadDigest(local);
    const qint64 localVersion = m_settings.intValue(AppSettingsKey::syncVersion, 0);
    const qint64 remoteVersion = remote.envelope ? remote.envelope->version : remote.unchanged ? storedVersion : 0;
    // Without a readable file there is always something to write: a deleted file, a new folder or
    // a damaged file (kept aside above) would otherwise wait for the next local edit.
    std::optional<CloudFolder::Stamp> fileStamp = remote.stamp;
    const bool upToDate = (remote.envelope || remote.unchanged) && digest == m_settings.stringValue(AppSettingsKey::syncDigest, QString()) &&
                        localVersion <= remoteVersion;
    if (remote.newerSchema) {
        // A newer program's file stays as it is; its records come back once this one is updated.
        message = QStringLiteral("Synchro : le fichier de synchronisation vient d'une version plus récente d'Ovra ; "
                                 "mets Ovra à jour.");
    } else if (stillDownloading && !remote.exists) {
        message = QStringLiteral("Synchro : le fichier de synchronisation est en cours de téléchargement ; réessaie "
                                 "plus tard.");
    } else if (!upToDate) {
        if (!remote.unreadable.isEmpty()) {
            if (auto kept = m_rollback.keepUnreadable(folder->filePath(name)))
                m_log.log(QStringLiteral("SYNC fichier distant illisible conservé : ") + *kept, kTag);
        }
        local.stats = computeStats(store);
        SyncEnvelope env;
        env.version = std::max({localVersion, remoteVersion, qint64(0)}) + 1;
        env.deviceID = m_settings.deviceID();
        env.updatedAt = DateTime::now();
        env.data = std::move(local);
        QFuture<std::pair<Expected<void, CloudFolderError>, CloudFolder::Stamp>> writing =
            QtConcurrent::run([worker, env = std::move(env)] {
                CloudFolder::Stamp stamp;
                auto ok = worker.write(QLatin1String(SyncEnvelope::kFileName), encodeEnvelope(env), &stamp);
                return std::pair(std::move(ok), stamp);
            });
        const auto [written, stamp] = co_await writing;
        if (!self || !m_store)
            co_return;
        if (!written) {
            setMessage(QStringLiteral("Synchro : ") + written.error().message);
            co_return;
        }
        m_settings.setValue(AppSettingsKey::syncVersion, std::max({localVersion, remoteVersion, qint64(0)}) + 1);
        m_settings.setValue(AppSettingsKey::syncDigest, digest);
        fileStamp = stamp.size >= 0 ? std::optional(stamp) : std::nullopt;
        // The protection message says more than "sent" about what just happened.
        if (message != QString::fromUtf8(kEmptyRemoteMessage))
            message = QString::fromUtf8(kSentMessage);
    }
    m_settings.sync();
    if (m_keyBackup)
        m_keyBackup->syncCloudCopy(*folder);

    if (message.isEmpty())
        message = QString::fromUtf8(kUpToDateMessage);
    setMessage(message);
    m_lastSyncedAt = DateTime::now();
    Q_EMIT lastSyncedAtChanged();

    // In step with the file now: remember both sides so that an idle sync, even after a restart,
    // costs a few file checks.
    if (message == QString::fromUtf8(kSentMessage) || message == QString::fromUtf8(kUpToDateMessage) ||
        message == QString::fromUtf8(kReceivedMessage) || message == QString::fromUtf8(kEmptyRemoteMessage)) {
        if (fileStamp) {
            m_settings.setValue(QLatin1String(kFileStampKey),
                                stampText(folder->filePath(name), *fileStamp, m_settings.intValue(AppSettingsKey::syncVersion, 0),
                                          m_settings.stringValue(AppSettingsKey::syncDigest, QString())));
            if (!localSide.isEmpty())
                m_settings.setValue(QLatin1String(kLocalStampKey), localSide);
            m_settings.sync();
        }
    }
}
