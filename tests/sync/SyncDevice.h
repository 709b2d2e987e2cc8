#pragma once
// One device of a sync test: its own XDG-like folders, store, settings, journal and sync
// service, pointed at a cloud folder shared with the other devices.
#include "store/StoreFixture.h"
#include "fakes/AwaitTask.h"
#include "store/AppSettingsKeys.h"
#include "store/DebugLog.h"
#include "store/Notifications.h"
#include "store/Settings.h"
#include "sync/ICloudSync.h"

#include <QDir>
#include <QSignalSpy>

struct SyncDevice
{
    StoreFixture fx;
    std::unique_ptr<RecordStore> store;
    Settings settings{fx.dir.filePath(QStringLiteral("config"))};
    DebugLog log{fx.dir.filePath(QStringLiteral("data"))};
    Notifications notifications;
    ICloudSync sync{{settings, log, notifications, fx.dir.filePath(QStringLiteral("data/OvraRollback")), nullptr}};

    explicit SyncDevice(const QString& cloudRoot, const QString& deviceID = QStringLiteral("DEVICE-1"))
    {
        fx.identity.deviceID = deviceID;
        store = fx.open();
        settings.setValue(AppSettingsKey::cloudFolder, cloudRoot);
        sync.setModelContext(store.get());
    }

    QString run()
    {
        awaitTask(sync.sync());
        return sync.lastMessage();
    }
    qint64 version() const { return settings.intValue(AppSettingsKey::syncVersion, 0); }
    QString digest() const { return settings.stringValue(AppSettingsKey::syncDigest, QString()); }
    QString rollbackFolder() const { return fx.dir.filePath(QStringLiteral("data/OvraRollback")); }

    template <Record R>
    QStringList ids() const
    {
        QStringList out;
        for (const R& r : store->fetch<R>())
            out << uuidText(r.id);
        out.sort();
        return out;
    }
};
