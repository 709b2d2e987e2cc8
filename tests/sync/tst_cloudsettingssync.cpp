#include "store/DebugLog.h"
#include "store/Notifications.h"
#include "store/Settings.h"
#include "store/AppSettingsKeys.h"
#include "sync/CloudSettingsSync.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kBest = QStringLiteral("mirelo.stats.dictatedWordsBest");
const QString kThreshold = QStringLiteral("mirelo.learning.threshold");
const QString kCaptureState = QStringLiteral("mirelo.capture.state");
const QString kLastSync = QStringLiteral("mirelo.icloud.lastSync");

struct Device
{
    QTemporaryDir dir;
    Settings settings{dir.filePath(QStringLiteral("config"))};
    DebugLog log{dir.filePath(QStringLiteral("data"))};
    Notifications notifications;
    std::unique_ptr<CloudSettingsSync> service;

    explicit Device(const QString& cloud) { settings.setValue(AppSettingsKey::cloudFolder, cloud); }
    // The service starts after the values set so far, as a program started on them would.
    CloudSettingsSync& sync()
    {
        if (!service)
            service = std::make_unique<CloudSettingsSync>(settings, notifications, log);
        return *service;
    }
};

QJsonObject cloudFile(const QString& cloud)
{
    QFile f(QDir(cloud).filePath(QStringLiteral("Documents/ovra-settings.json")));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(f.readAll()).object();
}

void writeCloudFile(const QString& cloud, const QByteArray& bytes)
{
    QVERIFY(QDir().mkpath(QDir(cloud).filePath(QStringLiteral("Documents"))));
    QFile f(QDir(cloud).filePath(QStringLiteral("Documents/ovra-settings.json")));
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

} // namespace

class TestCloudSettingsSync : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void syncedKeySet()
    {
        const auto& keys = CloudSettingsSync::syncedKeys();
        QCOMPARE(keys.size(), 39);
        for (SharedDefaultsKey excluded : {SharedDefaultsKey::iCloudSyncEnabled, SharedDefaultsKey::captureState,
                                           SharedDefaultsKey::lastSeenWhatsNewVersion, SharedDefaultsKey::nemotronChunkMs})
            QVERIFY(!keys.contains(excluded));
        QVERIFY(keys.contains(SharedDefaultsKey::dictatedWordsBest));
    }

    void bestScoreNeverGoesDown_data()
    {
        QTest::addColumn<QJsonValue>("cloud");
        QTest::addColumn<qint64>("expected");
        QTest::newRow("lower in the cloud") << QJsonValue(800) << qint64(1200);
        QTest::newRow("higher in the cloud") << QJsonValue(1500) << qint64(1500);
        QTest::newRow("not a number") << QJsonValue(QStringLiteral("9999")) << qint64(1200);
    }
    void bestScoreNeverGoesDown()
    {
        QFETCH(QJsonValue, cloud);
        QFETCH(qint64, expected);
        QTemporaryDir folder;
        writeCloudFile(folder.path(), QJsonDocument(QJsonObject{{kBest, cloud}, {kThreshold, 7}}).toJson());
        Device d(folder.path());
        d.settings.setValue(kBest, 1200);
        QSignalSpy synced(&d.notifications, &Notifications::cloudSettingsDidSync);
        d.sync().start();
        QCOMPARE(d.settings.intValue(kBest, 0), expected);
        QCOMPARE(d.settings.intValue(kThreshold, 0), 7);
        QCOMPARE(synced.size(), 1);
        QVERIFY(d.settings.numberValue(kLastSync).value_or(0) > 1.7e9);
    }

    void externalChanges_data()
    {
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<int>("threshold");
        QTest::addColumn<int>("notifications");
        QTest::newRow("device-local key only") << true << QStringList{kCaptureState} << 3 << 1;
        QTest::newRow("a synced key") << true << QStringList{kCaptureState, kThreshold} << 9 << 1;
        QTest::newRow("no list: everything") << true << QStringList{} << 9 << 1;
        QTest::newRow("disabled") << false << QStringList{kThreshold} << 3 << 0;
    }
    void externalChanges()
    {
        QFETCH(bool, enabled);
        QFETCH(QStringList, keys);
        QFETCH(int, threshold);
        QFETCH(int, notifications);
        QTemporaryDir folder;
        writeCloudFile(folder.path(),
                       QJsonDocument(QJsonObject{{kThreshold, 9}, {kCaptureState, QStringLiteral("recording")}}).toJson());
        Device d(folder.path());
        d.settings.setValue(kThreshold, 3);
        d.settings.setValue(kCaptureState, QStringLiteral("idle"));
        d.settings.setValue(SharedDefaultsKey::iCloudSyncEnabled, enabled);
        QVERIFY(d.sync().kvStore().synchronize());
        QSignalSpy synced(&d.notifications, &Notifications::cloudSettingsDidSync);
        d.sync().handleExternalChange(keys);
        QCOMPARE(d.settings.intValue(kThreshold, 0), threshold);
        QCOMPARE(d.settings.stringValue(kCaptureState, QString()), QStringLiteral("idle"));
        QCOMPARE(synced.size(), notifications);
        QCOMPARE(d.settings.contains(kLastSync), enabled);
    }

    void pushLeavesTheCloudKeysAlone()
    {
        QTemporaryDir folder;
        writeCloudFile(folder.path(), QJsonDocument(QJsonObject{{kThreshold, 5}, {QStringLiteral("autre"), 1}}).toJson());
        Device d(folder.path());
        d.settings.setValue(kCaptureState, QStringLiteral("recording"));
        d.settings.setValue(kBest, 40);
        d.sync().syncNow();
        const QJsonObject cloud = cloudFile(folder.path());
        QCOMPARE(cloud.value(kThreshold).toInt(), 5);   // no local value: left in the cloud
        QCOMPARE(cloud.value(QStringLiteral("autre")).toInt(), 1);
        QCOMPARE(cloud.value(kBest).toInt(), 40);
        QVERIFY(!cloud.contains(kCaptureState));        // device-local: never leaves
        QCOMPARE(d.settings.intValue(kThreshold, 0), 5);
    }

    void unreadableFileIsNotReplaced()
    {
        QTemporaryDir folder;
        writeCloudFile(folder.path(), "{ pas du JSON");
        Device d(folder.path());
        d.settings.setValue(kThreshold, 4);
        d.sync().syncNow();
        QFile f(QDir(folder.path()).filePath(QStringLiteral("Documents/ovra-settings.json")));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("{ pas du JSON"));
        QVERIFY(d.log.contents().contains(QStringLiteral("SYNC réglages : ")));
    }

    void conflictCopiesAreMerged()
    {
        QTemporaryDir folder;
        writeCloudFile(folder.path(), R"({"mirelo.learning.threshold": 5, "mirelo.stats.dictatedWordsBest": 100})");
        const QDir documents(QDir(folder.path()).filePath(QStringLiteral("Documents")));
        const auto put = [&](const QString& name, const QByteArray& bytes) {
            QFile f(documents.filePath(name));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(bytes);
        };
        const QString syncthing = QStringLiteral("ovra-settings.sync-conflict-20261210-103512-ABCDEFG.json");
        const QString nextcloud = QStringLiteral("ovra-settings (conflicted copy 2026-12-10 103512).json");
        put(syncthing, R"({"mirelo.learning.threshold": 9, "autre": 7, "mirelo.stats.dictatedWordsBest": 300})");
        put(nextcloud, "{ pas du JSON");
        Device d(folder.path());
        d.sync().syncNow();

        const QJsonObject cloud = cloudFile(folder.path());
        QCOMPARE(cloud.value(kThreshold).toInt(), 5); // the file's own value wins
        QCOMPARE(cloud.value(QStringLiteral("autre")).toInt(), 7);
        QCOMPARE(cloud.value(kBest).toInt(), 300); // the best score only goes up
        QCOMPARE(d.settings.intValue(kBest, 0), 300);
        QVERIFY(!documents.exists(syncthing));
        // What cannot be read is left for the user.
        QFile unreadable(documents.filePath(nextcloud));
        QVERIFY(unreadable.open(QIODevice::ReadOnly));
        QCOMPARE(unreadable.readAll(), QByteArray("{ pas du JSON"));
        QVERIFY(d.log.contents().contains(QStringLiteral("fusionnée")));
        QVERIFY(d.log.contents().contains(QStringLiteral("illisible")));
    }

    void anotherDeviceChangeIsSeen()
    {
        // The change arrives as a client does it: a rename over the file, twice.
        QTemporaryDir folder;
        Device a(folder.path());
        Device b(folder.path());
        a.sync().start();
        b.sync().start();
        QSignalSpy synced(&b.notifications, &Notifications::cloudSettingsDidSync);
        for (int value : {11, 12}) {
            a.settings.setValue(kThreshold, value);
            a.sync().syncNow();
            QTRY_COMPARE(b.settings.intValue(kThreshold, 0), value);
        }
        QVERIFY(synced.size() >= 2);
    }
};

QTEST_GUILESS_MAIN(TestCloudSettingsSync)
#include "tst_cloudsettingssync.moc"
