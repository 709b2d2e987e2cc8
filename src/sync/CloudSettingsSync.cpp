#include "CloudSettingsSync.h"

#include "store/Notifications.h"
#include "store/Settings.h"
#include "store/SettingsFile.h"

#include <QDateTime>
#include <QJsonValue>
#include <QScopedValueRollback>

CloudSettingsSync::CloudSettingsSync(Settings& settings, Notifications& notifications, DebugLog& log, QObject* parent)
    : QObject(parent), m_settings(settings), m_notifications(notifications), m_kvStore(settings, log)
{
    connect(&m_kvStore, &CloudKeyValueStore::changedExternally, this, &CloudSettingsSync::handleExternalChange);
    connect(&m_settings, &Settings::changed, this, &CloudSettingsSync::localChange);
    m_pushSoon.setSingleShot(true);
    m_pushSoon.setInterval(std::chrono::milliseconds(300));
    connect(&m_pushSoon, &QTimer::timeout, &m_kvStore, &CloudKeyValueStore::synchronize);
}

void CloudSettingsSync::localChange(const QString& name)
{
    const auto key = SharedDefaults::fromKey(name);
    if (m_applying || !key || !SharedDefaults::isSynced(*key) || !isEnabled() || !m_settings.contains(name))
        return;
    const QJsonValue local = QJsonValue::fromVariant(SettingsFile::normalised(m_settings.value(name)));
    if (m_kvStore.value(name) == std::optional(local))
        return;
    m_kvStore.setValue(name, local);
    m_pushSoon.start();
}

const QList<SharedDefaultsKey>& CloudSettingsSync::syncedKeys()
{
    static const QList<SharedDefaultsKey> keys = [] {
        QList<SharedDefaultsKey> out;
        for (SharedDefaultsKey k : SharedDefaults::allCases())
            if (SharedDefaults::isSynced(k))
                out << k;
        return out;
    }();
    return keys;
}

bool CloudSettingsSync::isEnabled() const { return m_settings.boolValue(SharedDefaultsKey::iCloudSyncEnabled, true); }

void CloudSettingsSync::apply(SharedDefaultsKey key)
{
    const QString name = SharedDefaults::key(key);
    const std::optional<QJsonValue> cloud = m_kvStore.value(name);
    if (!cloud || cloud->isNull())
        return;
    const QScopedValueRollback applying(m_applying, true);
    if (key == SharedDefaultsKey::dictatedWordsBest) {
        // The best score never goes down.
        const qint64 remote = cloud->isDouble() ? qint64(cloud->toDouble()) : 0;
        if (remote > m_settings.intValue(name, 0))
            m_settings.setValue(name, remote);
        return;
    }
    m_settings.setValue(name, cloud->toVariant());
}

void CloudSettingsSync::pullAll()
{
    for (SharedDefaultsKey k : syncedKeys())
        apply(k);
}

void CloudSettingsSync::pushAll()
{
    for (SharedDefaultsKey k : syncedKeys()) {
        const QString name = SharedDefaults::key(k);
        if (!m_settings.contains(name))
            continue; // never removed from the cloud
        const QJsonValue local = QJsonValue::fromVariant(SettingsFile::normalised(m_settings.value(name)));
        const std::optional<QJsonValue> cloud = m_kvStore.value(name);
        if (cloud && *cloud == local)
            continue;
        m_kvStore.setValue(name, local);
    }
    m_kvStore.synchronize();
}

void CloudSettingsSync::markSynced()
{
    m_settings.setValue(SharedDefaultsKey::lastSyncDate, double(QDateTime::currentMSecsSinceEpoch()) / 1000.0);
    Q_EMIT m_notifications.cloudSettingsDidSync();
}

void CloudSettingsSync::syncNow()
{
    if (!isEnabled())
        return;
    m_kvStore.synchronize();
    pullAll();
    pushAll();
    markSynced();
}

void CloudSettingsSync::handleExternalChange(const QStringList& changedKeys)
{
    if (!isEnabled())
        return;
    if (changedKeys.isEmpty()) {
        pullAll();
    } else {
        for (const QString& name : changedKeys) {
            const auto key = SharedDefaults::fromKey(name);
            if (key && SharedDefaults::isSynced(*key))
                apply(*key);
        }
    }
    markSynced();
}

void CloudSettingsSync::start()
{
    if (isEnabled()) {
        m_kvStore.synchronize();
        pullAll();
        markSynced();
    }
    m_kvStore.startWatching();
}
