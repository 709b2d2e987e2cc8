#pragma once
// Keeps the user's records identical on all their devices through one JSON file in the folder
// their cloud client synchronises: read, merge what is new, write back when it changed.
#include "CloudFolder.h"
#include "RollbackSnapshots.h"
#include "SyncEnvelope.h"

#include <QCoroTask>
#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <optional>

class DebugLog;
class Notifications;
class RecordStore;
class SecretsBackupService;
class Settings;
class StatsRefresher;

class ICloudSync : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool isSyncing READ isSyncing NOTIFY isSyncingChanged)
    Q_PROPERTY(QDateTime lastSyncedAt READ lastSyncedAt NOTIFY lastSyncedAtChanged)
    Q_PROPERTY(QString lastMessage READ lastMessage NOTIFY lastMessageChanged)
public:
    static constexpr const char* kInitialMessage = "Pas encore synchronisé.";
    static constexpr const char* kUnavailableMessage =
        "iCloud Drive n'est pas disponible — vérifie que tu es connecté à iCloud et qu'iCloud Drive est activé dans "
        "les Réglages iOS.";
    static constexpr const char* kReceivedMessage = "Données reçues d'iCloud.";
    static constexpr const char* kSentMessage = "Données envoyées vers iCloud.";
    static constexpr const char* kEmptyRemoteMessage = "Fichier iCloud vide ignoré (protection anti-effacement).";
    static constexpr const char* kUpToDateMessage = "Déjà à jour.";
    // The sync file as this device last wrote or read it (path, stamp, version, digest): after a
    // restart an unchanged file is not read again.
    static constexpr const char* kFileStampKey = "ovra.mac.sync.fileStamp";
    // The local side when the store and that file were last in step (the store's change marker
    // and the widget layouts): with both unchanged a sync reads and builds nothing.
    static constexpr const char* kLocalStampKey = "ovra.mac.sync.localStamp";

    struct Dependencies
    {
        Settings& settings;
        DebugLog& log;
        Notifications& notifications;
        // Where the rollback snapshots go ("…/ovra/OvraRollback").
        QString rollbackFolder;
        StatsRefresher* stats = nullptr;
    };

    explicit ICloudSync(Dependencies deps, QObject* parent = nullptr);
    ~ICloudSync() override;

    void setModelContext(RecordStore* store);
    void setKeyBackup(SecretsBackupService* keyBackup) { m_keyBackup = keyBackup; }

    bool isSyncing() const { return m_isSyncing; }
    std::optional<QDateTime> lastSyncedAtValue() const { return m_lastSyncedAt; }
    QDateTime lastSyncedAt() const { return m_lastSyncedAt.value_or(QDateTime()); }
    QString lastMessage() const { return m_lastMessage; }

    // One full sync; a call while one runs returns at once. waitForDownload: give a client that
    // is still bringing the file in up to 6 s (the foreground sync does; background reads may not).
    QCoro::Task<> sync(bool waitForDownload = true);

Q_SIGNALS:
    void isSyncingChanged();
    void lastSyncedAtChanged();
    void lastMessageChanged();

private:
    struct RemoteRead;
    QCoro::Task<> run(bool waitForDownload);
    void setMessage(const QString& message);
    void setSyncing(bool syncing);
    QString localStamp() const;
    // Nothing changed on either side since the last sync that ended in step.
    bool inStep(const CloudFolder& folder) const;

    Settings& m_settings;
    DebugLog& m_log;
    Notifications& m_notifications;
    RollbackSnapshots m_rollback;
    StatsRefresher* m_stats;
    QPointer<RecordStore> m_store;
    SecretsBackupService* m_keyBackup = nullptr;
    bool m_isSyncing = false;
    std::optional<QDateTime> m_lastSyncedAt;
    QString m_lastMessage = QString::fromUtf8(kInitialMessage);
};
