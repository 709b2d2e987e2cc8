#include "SyncDevice.h"
#include "store/RecordSamples.h"
#include "sync/CloudFolder.h"
#include "sync/BackupImporter.h"
#include "sync/RollbackSnapshots.h"
#include "sync/WidgetLayoutSettings.h"

#include <QFile>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTimer>

namespace {

const QString kDataFile = QStringLiteral("ovra-data.json");

Note note(const QString& title)
{
    Note n;
    n.title = title;
    n.content = title + QStringLiteral(" — contenu");
    return n;
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

SyncEnvelope envelopeWith(const QList<Note>& notes, qint64 version)
{
    SyncEnvelope e;
    e.version = version;
    e.deviceID = QStringLiteral("OTHER");
    e.updatedAt = DateTime::now();
    e.data.exportedAt = DateTime::now();
    for (const Note& n : notes)
        e.data.notes.append({n});
    return e;
}

// The same device after the program restarted: settings and store read back from disk, a new
// sync service with nothing in memory.
struct Restarted
{
    std::unique_ptr<RecordStore> store;
    Settings settings;
    ICloudSync sync;

    explicit Restarted(SyncDevice& d)
        : store((d.settings.sync(), d.fx.open())), settings(d.fx.dir.filePath(QStringLiteral("config"))),
          sync({settings, d.log, d.notifications, d.rollbackFolder(), nullptr})
    {
        sync.setModelContext(store.get());
    }
    QString run()
    {
        awaitTask(sync.sync());
        return sync.lastMessage();
    }
};

QString recordsDigest(const RecordStore& store, const Settings& settings)
{
    return payloadDigest(makeRecordsPayload(store, settings));
}

// A change between the last sync and the restart, made by any writer of the store.
enum class Change { nothing, insert, update, remove, otherConnection, otherConnectionDelete, import, layouts, otherDevice };

} // namespace

class TestICloudSync : public QObject
{
    Q_OBJECT
    QTemporaryDir m_cloud;

    QString docs() const { return m_cloud.filePath(QStringLiteral("Documents")); }
    QString dataFile() const { return QDir(docs()).filePath(kDataFile); }
    std::optional<SyncEnvelope> remote() const
    {
        auto e = decodeEnvelope(readFile(dataFile()));
        return e ? std::optional(*e) : std::nullopt;
    }

private Q_SLOTS:
    void init()
    {
        QDir(docs()).removeRecursively();
    }

    void twoDevicesConverge()
    {
        SyncDevice a(m_cloud.path(), QStringLiteral("A"));
        SyncDevice b(m_cloud.path(), QStringLiteral("B"));
        QVERIFY(a.store->insert(note(QStringLiteral("sur A"))));
        DictionaryEntry term;
        term.term = QStringLiteral("Ovra");
        QVERIFY(b.store->insert(term));

        QCOMPARE(a.run(), QString::fromUtf8(ICloudSync::kSentMessage));
        QCOMPARE(remote()->version, 1);
        QSignalSpy applied(&b.notifications, &Notifications::iCloudSyncDidApplyRemoteData);
        QCOMPARE(b.run(), QString::fromUtf8(ICloudSync::kSentMessage)); // received A's, sent its own
        QCOMPARE(applied.size(), 1);
        QCOMPARE(remote()->version, 2);
        QCOMPARE(a.run(), QString::fromUtf8(ICloudSync::kReceivedMessage));
        QCOMPARE(a.ids<Note>(), b.ids<Note>());
        QCOMPARE(a.ids<DictionaryEntry>(), b.ids<DictionaryEntry>());
        QCOMPARE(a.ids<Note>().size(), 1);
        QCOMPARE(a.ids<DictionaryEntry>().size(), 1);
        QVERIFY(!a.sync.lastSyncedAt().isNull());

        // Nothing changed on either side: nothing is written, by this process or a fresh one.
        const QByteArray before = readFile(dataFile());
        const QDateTime modified = QFileInfo(dataFile()).lastModified();
        QCOMPARE(a.run(), QString::fromUtf8(ICloudSync::kUpToDateMessage));
        QCOMPARE(b.run(), QString::fromUtf8(ICloudSync::kUpToDateMessage));
        // After a restart the unchanged file is not read again, and nothing is written either.
        ICloudSync restarted({a.settings, a.log, a.notifications, a.rollbackFolder(), nullptr});
        restarted.setModelContext(a.store.get());
        awaitTask(restarted.sync());
        QCOMPARE(restarted.lastMessage(), QString::fromUtf8(ICloudSync::kUpToDateMessage));
        QCOMPARE(readFile(dataFile()), before);
        QCOMPARE(QFileInfo(dataFile()).lastModified(), modified);
        QCOMPARE(a.version(), 2);
        QCOMPARE(b.version(), 2);

        // An edit on one side after the quiet syncs still travels.
        auto n = a.store->fetch<Note>().first();
        n.title = QStringLiteral("retouchée sur A");
        QVERIFY(a.store->update(n));
        QCOMPARE(a.run(), QString::fromUtf8(ICloudSync::kSentMessage));
        QCOMPARE(b.run(), QString::fromUtf8(ICloudSync::kReceivedMessage));
        QCOMPARE(b.store->fetch<Note>().first().title, QStringLiteral("retouchée sur A"));
        QCOMPARE(b.version(), 3);
    }

    // After a restart a sync with nothing changed reads and writes nothing, and every kind of
    // change, whoever made it, still travels: a wrong "up to date" loses the user's edit.
    void firstSyncAfterRestart_data()
    {
        QTest::addColumn<Change>("change");
        QTest::addColumn<QString>("expected");
        const QString sent = QString::fromUtf8(ICloudSync::kSentMessage);
        QTest::newRow("nothing") << Change::nothing << QString::fromUtf8(ICloudSync::kUpToDateMessage);
        QTest::newRow("insert") << Change::insert << sent;
        QTest::newRow("update") << Change::update << sent;
        QTest::newRow("delete") << Change::remove << sent;
        QTest::newRow("another connection edits") << Change::otherConnection << sent;
        QTest::newRow("another connection deletes") << Change::otherConnectionDelete << sent;
        QTest::newRow("import") << Change::import << sent;
        QTest::newRow("widget layouts") << Change::layouts << sent;
        QTest::newRow("the other device") << Change::otherDevice << QString::fromUtf8(ICloudSync::kReceivedMessage);
    }
    void firstSyncAfterRestart()
    {
        QFETCH(Change, change);
        QFETCH(QString, expected);
        SyncDevice a(m_cloud.path(), QStringLiteral("A"));
        SyncDevice b(m_cloud.path(), QStringLiteral("B"));
        QVERIFY(a.store->insert(note(QStringLiteral("commune"))));
        QVERIFY(a.store->insert(note(QStringLiteral("seconde"))));
        QCOMPARE(a.run(), QString::fromUtf8(ICloudSync::kSentMessage));
        QCOMPARE(b.run(), QString::fromUtf8(ICloudSync::kReceivedMessage));
        QCOMPARE(a.run(), QString::fromUtf8(ICloudSync::kUpToDateMessage));
        const auto stamp = CloudFolder::stampOf(dataFile());
        QVERIFY(stamp);

        Restarted r(a);
        const Note first = r.store->fetch<Note>({}, {{QStringLiteral("title"), true}}).first();
        switch (change) {
        case Change::nothing:
            break;
        case Change::insert:
            QVERIFY(r.store->insert(note(QStringLiteral("nouvelle"))));
            break;
        case Change::update: {
            Note n = first;
            n.content = QStringLiteral("retouchée");
            QVERIFY(r.store->update(n));
            break;
        }
        case Change::remove:
            QVERIFY(r.store->remove<Note>(first.id));
            break;
        case Change::otherConnection:
        case Change::otherConnectionDelete: {
            // Another process (the command line) writing the same store.
            auto other = a.fx.open();
            QVERIFY(other);
            if (change == Change::otherConnectionDelete) {
                QVERIFY(other->remove<Note>(first.id));
            } else {
                Note n = first;
                n.content = QStringLiteral("ailleurs");
                QVERIFY(other->update(n));
            }
            break;
        }
        case Change::import: {
            BackupPayload p;
            p.exportedAt = DateTime::now();
            p.notes.append({note(QStringLiteral("importée"))});
            BackupImporter importer(*r.store, r.settings, a.log);
            QVERIFY(importer.importPayload(p));
            break;
        }
        case Change::layouts:
            WidgetLayouts::store(r.settings, {{QStringLiteral("accueil"), {QStringLiteral("série")}}}, DateTime::now());
            break;
        case Change::otherDevice: {
            Note n = b.store->fetch<Note>({}, {{QStringLiteral("title"), true}}).first();
            n.content = QStringLiteral("retouchée sur B");
            QVERIFY(b.store->update(n));
            QCOMPARE(b.run(), QString::fromUtf8(ICloudSync::kSentMessage));
            break;
        }
        }
        const int snapshots = QDir(a.rollbackFolder()).entryList({QStringLiteral("rollback-*.json")}).size();
        QCOMPARE(r.run(), expected);
        if (change == Change::nothing) {
            QCOMPARE(CloudFolder::stampOf(dataFile()), stamp);
            QCOMPARE(QDir(a.rollbackFolder()).entryList({QStringLiteral("rollback-*.json")}).size(), snapshots);
        }
        // Both devices end with the same records, and a second sync finds nothing more to do.
        b.run();
        QCOMPARE(recordsDigest(*b.store, b.settings), recordsDigest(*r.store, r.settings));
        QCOMPARE(r.run(), QString::fromUtf8(ICloudSync::kUpToDateMessage));
        QCOMPARE(b.run(), QString::fromUtf8(ICloudSync::kUpToDateMessage));
    }

    void bothWroteTheSameVersion()
    {
        // Each device believes it wrote version 7; the file holds the other's version 7.
        SyncDevice a(m_cloud.path(), QStringLiteral("A"));
        QVERIFY(a.store->insert(note(QStringLiteral("locale"))));
        a.settings.setValue(AppSettingsKey::syncVersion, 7);
        a.settings.setValue(AppSettingsKey::syncDigest, payloadDigest(makePayload(*a.store, a.settings)));
        const Note theirs = note(QStringLiteral("distante"));
        QVERIFY(QDir().mkpath(docs()));
        writeFile(dataFile(), encodeEnvelope(envelopeWith({theirs}, 7)));

        QCOMPARE(a.run(), QString::fromUtf8(ICloudSync::kSentMessage));
        QCOMPARE(a.store->count<Note>(), 2);
        QCOMPARE(remote()->version, 8);
        QCOMPARE(remote()->data.notes.size(), 2);
        QCOMPARE(a.version(), 8);
        // The snapshot holds the store as it was before the remote records were applied.
        const QStringList snapshots = RollbackSnapshots(a.rollbackFolder()).snapshots();
        QCOMPARE(snapshots.size(), 1);
        const auto before = decode(readFile(snapshots.first()));
        QVERIFY(before);
        QCOMPARE(before->notes.size(), 1);
        QCOMPARE(before->notes.first().record.title, QStringLiteral("locale"));
    }

    void deleteAgainstEdit_data()
    {
        QTest::addColumn<bool>("editAfterDelete");
        QTest::addColumn<int>("modesLeft");
        QTest::newRow("edit after the delete survives") << true << 1;
        QTest::newRow("delete after the edit wins") << false << 0;
    }
    void deleteAgainstEdit()
    {
        QFETCH(bool, editAfterDelete);
        QFETCH(int, modesLeft);
        SyncDevice a(m_cloud.path(), QStringLiteral("A"));
        SyncDevice b(m_cloud.path(), QStringLiteral("B"));
        TranscriptionMode mode;
        mode.name = QStringLiteral("Courriel");
        QVERIFY(a.store->insert(mode));
        a.run();
        b.run();
        QCOMPARE(b.store->count<TranscriptionMode>(), 1);

        auto edit = [&] {
            auto m = *b.store->find<TranscriptionMode>(mode.id);
            m.name = QStringLiteral("Courriel pro");
            QVERIFY(b.store->update(m));
        };
        auto waitAMillisecond = [] {
            const auto t = DateTime::now();
            QTRY_VERIFY(DateTime::now() > t.addMSecs(2));
        };
        if (editAfterDelete) {
            QVERIFY(a.store->remove<TranscriptionMode>(mode.id));
            waitAMillisecond();
            edit();
        } else {
            edit();
            waitAMillisecond();
            QVERIFY(a.store->remove<TranscriptionMode>(mode.id));
        }
        for (int round = 0; round < 2; ++round) {
            a.run();
            b.run();
        }
        QCOMPARE(a.store->count<TranscriptionMode>(), modesLeft);
        QCOMPARE(b.store->count<TranscriptionMode>(), modesLeft);
        if (modesLeft)
            QCOMPARE(a.store->fetch<TranscriptionMode>().first().name, QStringLiteral("Courriel pro"));
    }

    void emptyRemoteNeverWipes()
    {
        SyncDevice a(m_cloud.path());
        QVERIFY(a.store->insert(note(QStringLiteral("précieuse"))));
        QVERIFY(QDir().mkpath(docs()));
        writeFile(dataFile(), encodeEnvelope(envelopeWith({}, 5)));

        QCOMPARE(a.run(), QString::fromUtf8(ICloudSync::kEmptyRemoteMessage));
        QCOMPARE(a.store->count<Note>(), 1);
        QCOMPARE(remote()->version, 6);
        QCOMPARE(remote()->data.notes.size(), 1);
        QVERIFY(QDir(a.rollbackFolder()).entryList({QStringLiteral("rollback-*.json")}).isEmpty());
    }

    void conflictCopiesAreMergedAndRemoved_data()
    {
        QTest::addColumn<QString>("copyName");
        QTest::newRow("Syncthing") << "ovra-data.sync-conflict-20261210-103512-TH7PRRU.json";
        QTest::newRow("Nextcloud") << "ovra-data (conflicted copy 2026-12-10 103512).json";
        QTest::newRow("Nextcloud with user") << "ovra-data (conflicted copy jean 2026-12-10 103512).json";
        QTest::newRow("ownCloud") << "ovra-data_conflict-20261210-103512.json";
        QTest::newRow("Dropbox") << "ovra-data (Jean's conflicted copy 2026-12-10).json";
        QTest::newRow("Dropbox second") << "ovra-data (Jean's conflicted copy 2026-12-10 (1)).json";
        QTest::newRow("Seafile") << "ovra-data (SFConflict jean@example.org 2026-12-10-10-35-12).json";
    }
    void conflictCopiesAreMergedAndRemoved()
    {
        QFETCH(QString, copyName);
        SyncDevice a(m_cloud.path());
        QVERIFY(a.store->insert(note(QStringLiteral("ici"))));
        a.run();
        const Note lost = note(QStringLiteral("perdue par le client"));
        writeFile(QDir(docs()).filePath(copyName), encodeEnvelope(envelopeWith({lost}, 3)));
        // Look-alikes that are not conflict copies stay.
        writeFile(QDir(docs()).filePath(QStringLiteral("ovra-data conflicted.json")), "{}");

        QCOMPARE(a.run(), QString::fromUtf8(ICloudSync::kSentMessage));
        QVERIFY(a.store->find<Note>(lost.id));
        QVERIFY(!QFileInfo::exists(QDir(docs()).filePath(copyName)));
        QVERIFY(QFileInfo::exists(QDir(docs()).filePath(QStringLiteral("ovra-data conflicted.json"))));
        QVERIFY(a.log.contents().contains(QStringLiteral("[SYNC] SYNC version en conflit iCloud fusionnée (v3)")));
        QCOMPARE(remote()->data.notes.size(), 2);
    }

    void unreadableConflictCopyIsKeptAside()
    {
        SyncDevice a(m_cloud.path());
        QVERIFY(QDir().mkpath(docs()));
        const QString copy = QDir(docs()).filePath(QStringLiteral("ovra-data_conflict-20261210-103512.json"));
        writeFile(copy, "{\"schema\":1,\"vers");
        a.run();
        QVERIFY(!QFileInfo::exists(copy));
        const QStringList kept = QDir(a.rollbackFolder()).entryList({QStringLiteral("unreadable-*.json")});
        QCOMPARE(kept.size(), 1);
        QCOMPARE(readFile(QDir(a.rollbackFolder()).filePath(kept.first())), QByteArray("{\"schema\":1,\"vers"));
    }

    void badRemoteFiles_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("replaced");
        const QByteArray valid = encodeEnvelope(envelopeWith({note(QStringLiteral("x"))}, 4));
        QTest::newRow("not JSON") << QByteArray("<html>502 Bad Gateway</html>") << true;
        QTest::newRow("truncated") << valid.left(valid.size() / 2) << true;
        QTest::newRow("empty file") << QByteArray() << true;
        QTest::newRow("an array") << QByteArray("[1,2,3]") << true;
        QTest::newRow("payload without its records")
            << QByteArray("{\"schema\":1,\"version\":9,\"deviceID\":\"X\",\"updatedAt\":\"2026-01-01T00:00:00Z\","
                          "\"data\":{\"schema\":1}}")
            << true;
        QTest::newRow("negative version")
            << QByteArray(valid).replace("\"version\":4", "\"version\":-4") << true;
        QTest::newRow("newer schema") << QByteArray(valid).replace("{\"schema\":1,", "{\"schema\":2,") << false;
    }
    void badRemoteFiles()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, replaced);
        SyncDevice a(m_cloud.path());
        const Note mine = note(QStringLiteral("à moi"));
        QVERIFY(a.store->insert(mine));
        QVERIFY(QDir().mkpath(docs()));
        writeFile(dataFile(), content);

        const QString message = a.run();
        QCOMPARE(a.ids<Note>(), QStringList{uuidText(mine.id)});
        QVERIFY(a.log.contents().contains(QStringLiteral("SYNC fichier distant illisible (corrompu ?) — ignoré : ")));
        if (replaced) {
            QCOMPARE(message, QString::fromUtf8(ICloudSync::kSentMessage));
            QCOMPARE(remote()->data.notes.size(), 1);
            QCOMPARE(a.version(), 1);
            const QStringList kept = QDir(a.rollbackFolder()).entryList({QStringLiteral("unreadable-*.json")});
            QCOMPARE(kept.size(), 1);
            QCOMPARE(readFile(QDir(a.rollbackFolder()).filePath(kept.first())), content);
        } else {
            QVERIFY(message.startsWith(QStringLiteral("Synchro : ")));
            QCOMPARE(readFile(dataFile()), content);
            QCOMPARE(a.version(), 0);
        }
    }

    void hugeRemoteFileIsNotRead()
    {
        SyncDevice a(m_cloud.path());
        QVERIFY(a.store->insert(note(QStringLiteral("à moi"))));
        QVERIFY(QDir().mkpath(docs()));
        {
            QFile f(dataFile());
            QVERIFY(f.open(QIODevice::WriteOnly));
            QVERIFY(f.resize(CloudFolder::kMaxFileBytes + 1)); // sparse: no disk used
        }
        const QString message = a.run();
        QVERIFY2(message.contains(QStringLiteral("trop volumineux")), qPrintable(message));
        QCOMPARE(QFileInfo(dataFile()).size(), CloudFolder::kMaxFileBytes + 1);
        QCOMPARE(a.version(), 0);
        QCOMPARE(a.store->count<Note>(), 1);
    }

    void missingFolder_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::newRow("none chosen") << QString();
        QTest::newRow("unmounted") << QStringLiteral("/nonexistent/ovra-cloud");
        QTest::newRow("relative") << QStringLiteral("cloud");
    }
    void missingFolder()
    {
        QFETCH(QString, folder);
        SyncDevice a(folder);
        QVERIFY(a.store->insert(note(QStringLiteral("à moi"))));
        a.settings.setValue(AppSettingsKey::syncVersion, 3);
        QCOMPARE(a.run(), QString::fromUtf8(ICloudSync::kUnavailableMessage));
        QCOMPARE(a.version(), 3);
        QCOMPARE(a.store->count<Note>(), 1);
        QVERIFY(!QFileInfo::exists(QStringLiteral("/nonexistent")));
    }

    void folderGoneAfterASync()
    {
        QTemporaryDir usbKey;
        SyncDevice a(usbKey.path());
        QVERIFY(a.store->insert(note(QStringLiteral("à moi"))));
        a.run();
        QCOMPARE(a.version(), 1);
        const QString digest = a.digest();
        QVERIFY(a.store->insert(note(QStringLiteral("nouvelle"))));
        QVERIFY(usbKey.remove());
        QCOMPARE(a.run(), QString::fromUtf8(ICloudSync::kUnavailableMessage));
        QCOMPARE(a.version(), 1);
        QCOMPARE(a.digest(), digest);
        QCOMPARE(a.store->count<Note>(), 2);
    }

    void placeholderIsWaitedFor()
    {
        // A client still downloading: the file appears while we wait and is read.
        SyncDevice a(m_cloud.path());
        QVERIFY(QDir().mkpath(docs()));
        const QString marker = QDir(docs()).filePath(QStringLiteral(".syncthing.ovra-data.json.tmp"));
        writeFile(marker, "partial");
        const Note theirs = note(QStringLiteral("téléchargée"));
        QTimer::singleShot(300, [&] {
            writeFile(dataFile(), encodeEnvelope(envelopeWith({theirs}, 2)));
            QFile::remove(marker);
        });
        QCOMPARE(a.run(), QString::fromUtf8(ICloudSync::kReceivedMessage));
        QVERIFY(a.store->find<Note>(theirs.id));
        QCOMPARE(a.version(), 2);
    }

    void syncWhileSyncingIsDropped()
    {
        SyncDevice a(m_cloud.path());
        QVERIFY(a.store->insert(note(QStringLiteral("à moi"))));
        QSignalSpy syncing(&a.sync, &ICloudSync::isSyncingChanged);
        bool firstDone = false;
        auto first = [&]() -> QCoro::Task<> {
            co_await a.sync.sync();
            firstDone = true;
        }();
        QVERIFY(a.sync.isSyncing());
        awaitTask(a.sync.sync()); // returns at once
        QVERIFY(!firstDone);
        QTRY_VERIFY(firstDone);
        QVERIFY(!a.sync.isSyncing());
        QCOMPARE(syncing.size(), 2);
        QCOMPARE(a.version(), 1);
    }

    void seventhSnapshotLeavesFive()
    {
        QTemporaryDir dir;
        SyncDevice a(m_cloud.path());
        QVERIFY(a.store->insert(note(QStringLiteral("gardée"))));
        RollbackSnapshots snapshots(dir.filePath(QStringLiteral("OvraRollback")));
        const QDateTime t0 = QDateTime::fromSecsSinceEpoch(1765000000, Qt::UTC);
        for (int i = 0; i < 7; ++i)
            QVERIFY(awaitTask(snapshots.writeInBackground(a.store->path(), {}, t0.addSecs(i * 90))));
        const QStringList left = snapshots.snapshots();
        QCOMPARE(left.size(), 5);
        QVERIFY(left.first().endsWith(QStringLiteral("rollback-%1.json").arg(1765000000 + 2 * 90)));
        QVERIFY(left.last().endsWith(QStringLiteral("rollback-%1.json").arg(1765000000 + 6 * 90)));
        // Each snapshot is a backup document of the store.
        const auto doc = decode(readFile(left.last()));
        QVERIFY(doc);
        QCOMPARE(doc->notes.size(), 1);
        // A store that cannot be read gives an error and touches no snapshot.
        QVERIFY(!awaitTask(snapshots.writeInBackground(dir.filePath(QStringLiteral("absente.sqlite")), {})));
        QCOMPARE(snapshots.snapshots(), left);
        QCOMPARE(QFileInfo(left.last()).permissions() & (QFile::ReadOther | QFile::ReadGroup), QFile::Permissions());
    }
};

QTEST_GUILESS_MAIN(TestICloudSync)
#include "tst_icloudsync.moc"
