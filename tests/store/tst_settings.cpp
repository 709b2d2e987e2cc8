#include "store/Settings.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {
void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}
QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
} // namespace

class TestSettings : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void sharedKeysTable()
    {
        const auto& all = SharedDefaults::allCases();
        QCOMPARE(all.size(), 60);
        QSet<QString> keys;
        QList<int> synced;
        for (int i = 0; i < all.size(); ++i) {
            QCOMPARE(int(all[i]), i);
            keys.insert(SharedDefaults::key(all[i]));
            QCOMPARE(SharedDefaults::fromKey(SharedDefaults::key(all[i])), all[i]);
            if (SharedDefaults::isSynced(all[i]))
                synced << i;
        }
        QCOMPARE(keys.size(), 60);
        QList<int> expected{0, 1, 2, 3, 4, 5, 6, 7, 11, 12, 13};
        for (int i = 16; i <= 41; ++i)
            expected << i;
        expected << 54 << 59;
        QCOMPARE(synced, expected);
        QCOMPARE(SharedDefaults::key(SharedDefaultsKey::autoStopTimeout), QStringLiteral("mirelo.recording.timeout"));
        QCOMPARE(SharedDefaults::key(SharedDefaultsKey::dictatedWordsBest),
                 QStringLiteral("mirelo.stats.dictatedWordsBest"));
        QVERIFY(!SharedDefaults::fromKey(QStringLiteral("mirelo.unknown")));
        QVERIFY(!SharedDefaults::fromKey(QStringLiteral("ovra.mac.sounds")));
    }

    void valuesPersistWithTheirTypesAndOwnerOnly()
    {
        QTemporaryDir dir;
        {
            Settings s(dir.path());
            QSignalSpy spy(&s, &Settings::changed);
            s.setValue(SharedDefaultsKey::autoStopTimeout, 30);
            s.setValue(QStringLiteral("ovra.mac.sounds"), false);
            s.setValue(QStringLiteral("ovra.mac.modeTriggers"),
                       QVariantMap{{QStringLiteral("org.gnome.gedit"), QStringLiteral("A-B")}});
            s.setValue(QStringLiteral("ovra.mac.autoSendEnter"), QStringList{QStringLiteral("slack")});
            s.setValue(QStringLiteral("ovra.mac.helper.phones"), QByteArray("\x00\x01[]", 4));
            s.setValue(QStringLiteral("ovra.mac.sounds"), false); // unchanged: no signal
            QCOMPARE(spy.count(), 5);
        }
        for (const char* name : {Settings::kSharedFileName, Settings::kOwnFileName}) {
            const auto p = QFile::permissions(dir.filePath(QLatin1String(name)));
            QVERIFY((p & QFileDevice::ReadOwner) && (p & QFileDevice::WriteOwner));
            QVERIFY(!(p & (QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ReadOther |
                           QFileDevice::WriteOther)));
        }
        // The shared vocabulary lands in the shared file, the program's keys in its own.
        QVERIFY(readFile(dir.filePath(QLatin1String(Settings::kSharedFileName))).contains("mirelo.recording.timeout"));
        QVERIFY(readFile(dir.filePath(QLatin1String(Settings::kOwnFileName))).contains("ovra.mac.sounds"));

        Settings s(dir.path());
        QCOMPARE(s.intValue(SharedDefaultsKey::autoStopTimeout, 0), 30);
        QCOMPARE(s.boolValue(QStringLiteral("ovra.mac.sounds"), true), false);
        QCOMPARE(s.map(QStringLiteral("ovra.mac.modeTriggers")).value(QStringLiteral("org.gnome.gedit")).toString(),
                 QStringLiteral("A-B"));
        QCOMPARE(s.stringList(QStringLiteral("ovra.mac.autoSendEnter")), QStringList{QStringLiteral("slack")});
        QCOMPARE(s.value(QStringLiteral("ovra.mac.helper.phones")).toByteArray(), QByteArray("\x00\x01[]", 4));
    }

    void illTypedValuesFallBack()
    {
        QTemporaryDir dir;
        writeFile(dir.filePath(QLatin1String(Settings::kSharedFileName)),
                  R"({"mirelo.icloud.enabled": "no", "mirelo.recording.timeout": "thirty",
                      "mirelo.mode.activeID": 12, "mirelo.retention.days": 7.9,
                      "mirelo.retention.notes.days": 1e300, "mirelo.retention.audioCount": -1e19})");
        writeFile(dir.filePath(QLatin1String(Settings::kOwnFileName)),
                  R"({"ovra.mac.sounds": 1, "ovra.mac.modeTriggers": [1,2], "ovra.mac.autoSendEnter": ["a", 3]})");
        Settings s(dir.path());
        QVERIFY(s.iCloudSyncEnabled()); // not a Boolean: enabled
        QCOMPARE(s.intValue(SharedDefaultsKey::autoStopTimeout, 15), 15);
        QVERIFY(!s.stringValue(SharedDefaultsKey::activeModeID));
        QCOMPARE(s.intValue(SharedDefaultsKey::dictationRetentionDays, 0), 7);
        QCOMPARE(s.intValue(SharedDefaultsKey::noteRetentionDays, 30), 30); // beyond 64 bits
        QCOMPARE(s.intValue(SharedDefaultsKey::dictationAudioRetentionCount, 20), 20);
        QCOMPARE(s.boolValue(QStringLiteral("ovra.mac.sounds"), true), true);
        QVERIFY(s.map(QStringLiteral("ovra.mac.modeTriggers")).isEmpty());
        QCOMPARE(s.stringList(QStringLiteral("ovra.mac.autoSendEnter")), QStringList{QStringLiteral("a")});
    }

    void syncEnabledByDefault()
    {
        QTemporaryDir dir;
        Settings s(dir.path());
        QVERIFY(s.iCloudSyncEnabled());
        s.setValue(SharedDefaultsKey::iCloudSyncEnabled, false);
        QVERIFY(!s.iCloudSyncEnabled());
    }

    void garbageSharedFileIsKeptAndWritersFallBack()
    {
        QTemporaryDir dir;
        const QString shared = dir.filePath(QLatin1String(Settings::kSharedFileName));
        const QByteArray garbage("{ not json \x01\x02");
        writeFile(shared, garbage);
        {
            Settings s(dir.path());
            QVERIFY(!s.sharedDomainAvailable());
            s.setValue(SharedDefaultsKey::activeModeName, QStringLiteral("Courriel"));
            QCOMPARE(s.stringValue(SharedDefaultsKey::activeModeName), QStringLiteral("Courriel"));
        }
        QCOMPARE(readFile(shared), garbage);
        Settings again(dir.path());
        QCOMPARE(again.stringValue(SharedDefaultsKey::activeModeName), QStringLiteral("Courriel"));
    }

    void deviceIDIsMadeOnceAndKept()
    {
        QTemporaryDir dir;
        QString id;
        {
            Settings s(dir.path());
            id = s.deviceID();
            QVERIFY(!QUuid::fromString(id).isNull());
            QCOMPARE(s.deviceID(), id);
        }
        Settings s(dir.path());
        QCOMPARE(s.deviceID(), id);
    }

    void publishesPinnedPresets()
    {
        QTemporaryDir dir;
        Settings s(dir.path());
        s.publishPinnedPresets({{QStringLiteral("ID-1"), QStringLiteral("Courriel"), QStringLiteral("Sois \"poli\"")}});
        const QByteArray data = s.value(QStringLiteral("mirelo.kb.pinnedPresets")).toByteArray();
        const QJsonArray a = QJsonDocument::fromJson(data).array();
        QCOMPARE(a.size(), 1);
        QCOMPARE(a[0].toObject().value(QStringLiteral("prompt")).toString(), QStringLiteral("Sois \"poli\""));
        QCOMPARE(a[0].toObject().keys(),
                 (QStringList{QStringLiteral("id"), QStringLiteral("name"), QStringLiteral("prompt")}));
    }

    // A hand-edited file with a mistake in it is the user's: left as it is, said once, defaults used.
    void unparsableOwnFileIsNeverOverwritten_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("trailing comma") << QByteArray("{\n  \"ovra.mac.sounds\": false,\n}\n");
        QTest::newRow("binary garbage") << QByteArray("{ \"ovra.mac.sounds\" \x01\x02", 20);
        QTest::newRow("an array") << QByteArray("[\"ovra.mac.sounds\", false]");
    }
    void unparsableOwnFileIsNeverOverwritten()
    {
        QFETCH(QByteArray, bytes);
        QTemporaryDir dir;
        const QString own = dir.filePath(QLatin1String(Settings::kOwnFileName));
        writeFile(own, bytes);
        QStringList said;
        {
            Settings s(dir.path());
            s.setProblemReporter([&said](const QString& m) { said << m; });
            QCOMPARE(said.size(), 1);
            QVERIFY2(said[0].contains(own), qPrintable(said[0]));
            QCOMPARE(s.boolValue(QStringLiteral("ovra.mac.sounds"), true), true); // the default
            s.setValue(QStringLiteral("ovra.mac.sounds"), false);
            s.setValue(QStringLiteral("ovra.mac.microphone"), QStringLiteral("mic"));
            QCOMPARE(s.boolValue(QStringLiteral("ovra.mac.sounds"), true), false); // kept for this run
            s.sync();
            QCOMPARE(readFile(own), bytes);
        }
        QCOMPARE(readFile(own), bytes);
        QCOMPARE(said.size(), 1);
    }

    void unparsableSharedFileIsSaidWithWhereSharedKeysGo()
    {
        QTemporaryDir dir;
        writeFile(dir.filePath(QLatin1String(Settings::kSharedFileName)), "{ \"mirelo.mode.activeID\": ");
        Settings s(dir.path());
        QStringList said;
        s.setProblemReporter([&said](const QString& m) { said << m; });
        s.setValue(SharedDefaultsKey::activeModeName, QStringLiteral("Courriel"));
        QCOMPARE(said.size(), 1);
        QVERIFY(said[0].contains(dir.filePath(QLatin1String(Settings::kSharedFileName))));
        QVERIFY(said[0].contains(dir.filePath(QLatin1String(Settings::kOwnFileName))));
    }

    // Another process reading at any moment sees the old file or the new one, never a part.
    void filesAreReplacedByRename()
    {
        QTemporaryDir dir;
        const QString own = dir.filePath(QLatin1String(Settings::kOwnFileName));
        Settings s(dir.path());
        s.setValue(QStringLiteral("ovra.mac.sounds"), true);
        s.sync();
        QFile before(own);
        QVERIFY(before.open(QIODevice::ReadOnly));
        const QByteArray old = before.readAll();
        s.setValue(QStringLiteral("ovra.mac.sounds"), false);
        s.sync();
        before.seek(0);
        QCOMPARE(before.readAll(), old); // the open file is the old one, untouched
        QVERIFY(readFile(own).contains("false"));
    }

    // The desktop application and a command run at the same time on the same files.
    void twoWritersKeepEachOthersKeys()
    {
        QTemporaryDir dir;
        Settings a(dir.path());
        Settings b(dir.path());
        a.setValue(QStringLiteral("ovra.mac.sounds"), false);
        b.setValue(QStringLiteral("ovra.mac.microphone"), QStringLiteral("mic"));
        a.setValue(SharedDefaultsKey::autoStopTimeout, 30);
        b.setValue(SharedDefaultsKey::activeModeName, QStringLiteral("Courriel"));
        a.sync(); // each writes what it changed, over what the other wrote
        b.sync();
        Settings c(dir.path());
        QCOMPARE(c.boolValue(QStringLiteral("ovra.mac.sounds"), true), false);
        QCOMPARE(c.stringValue(QStringLiteral("ovra.mac.microphone")), QStringLiteral("mic"));
        QCOMPARE(c.intValue(SharedDefaultsKey::autoStopTimeout, 0), 30);
        QCOMPARE(c.stringValue(SharedDefaultsKey::activeModeName), QStringLiteral("Courriel"));
    }

    void followsChangesMadeElsewhere()
    {
        QTemporaryDir dir;
        Settings app(dir.path());
        app.setValue(QStringLiteral("ovra.mac.sounds"), true);
        app.setValue(SharedDefaultsKey::activeModeName, QStringLiteral("A"));
        app.sync();
        app.followExternalChanges();
        QSignalSpy spy(&app, &Settings::changed);

        Settings command(dir.path());
        command.setValue(SharedDefaultsKey::activeModeID, QStringLiteral("B-ID"));
        command.remove(QStringLiteral("ovra.mac.sounds"));
        const QStringList expected{SharedDefaults::key(SharedDefaultsKey::activeModeID), QStringLiteral("ovra.mac.sounds")};
        const auto seen = [&] {
            QSet<QString> keys;
            for (const auto& call : spy)
                keys.insert(call.at(0).toString());
            return keys;
        };
        QTRY_COMPARE(seen(), QSet<QString>(expected.begin(), expected.end()));
        QCOMPARE(app.stringValue(SharedDefaultsKey::activeModeID), QStringLiteral("B-ID"));
        QVERIFY(!app.contains(QStringLiteral("ovra.mac.sounds")));

        // The file broken by hand: said, and the values in hand kept; mended: read again.
        QStringList said;
        app.setProblemReporter([&said](const QString& m) { said << m; });
        const QString own = dir.filePath(QLatin1String(Settings::kOwnFileName));
        writeFile(own, "{ \"ovra.mac.microphone\": \"usb\", }");
        QTRY_COMPARE(said.size(), 1);
        writeFile(own, "{ \"ovra.mac.microphone\": \"usb\" }");
        QTRY_COMPARE(app.stringValue(QStringLiteral("ovra.mac.microphone")), QStringLiteral("usb"));
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
