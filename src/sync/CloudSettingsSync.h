#pragma once
// Mirrors the user's preferences (the shared keys marked synced) between devices through the
// cloud key-value store. Device-local keys never leave the device; records are not synced here.
#include "CloudKeyValueStore.h"
#include "store/SharedDefaultsKey.h"

class Notifications;
class Settings;

class CloudSettingsSync : public QObject
{
    Q_OBJECT
public:
    CloudSettingsSync(Settings& settings, Notifications& notifications, DebugLog& log, QObject* parent = nullptr);

    // The synced keys, in case order.
    static const QList<SharedDefaultsKey>& syncedKeys();

    // "mirelo.icloud.enabled": absent or not a Boolean means enabled.
    bool isEnabled() const;
    void pullAll();
    void pushAll();
    // The settings button: read the cloud, apply, push ours, record the time.
    void syncNow();
    void markSynced();
    // Another device changed these keys (empty: unknown, everything is read).
    void handleExternalChange(const QStringList& changedKeys);
    // Start-up: when enabled, read the cloud and apply; then follow its changes.
    void start();

    CloudKeyValueStore& kvStore() { return m_kvStore; }

private:
    void apply(SharedDefaultsKey key);
    // A local edit of a synced key goes to the cloud soon after, so that the next pull does
    // not bring the old value back over it.
    void localChange(const QString& key);

    QTimer m_pushSoon;
    bool m_applying = false;

    Settings& m_settings;
    Notifications& m_notifications;
    CloudKeyValueStore m_kvStore;
};
