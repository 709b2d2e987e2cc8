// Two devices whose cloud folders are kept in step by two real Syncthing instances
// (tests/rigs/with-syncthing-pair.sh). Edits on both sides while the link is paused make
// Syncthing leave a real conflict copy; both devices still end with the same records.
#include "SyncDevice.h"

#include "sync/CloudFolder.h"

#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcessEnvironment>

namespace {

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

Note note(const QString& title)
{
    Note n;
    n.title = title;
    return n;
}

} // namespace

class TestSyncthingEndToEnd : public QObject
{
    Q_OBJECT
    QProcessEnvironment m_env = QProcessEnvironment::systemEnvironment();
    QNetworkAccessManager m_network;

    QString folder(char side) const { return m_env.value(QStringLiteral("OVRA_ST_FOLDER_") + QLatin1Char(side)); }
    QString dataFile(char side) const { return folder(side) + QStringLiteral("/Documents/ovra-data.json"); }

    // One REST call; true when Syncthing answered 200.
    bool rest(char side, const QString& path)
    {
        QNetworkRequest request(QUrl(QStringLiteral("http://%1%2").arg(m_env.value(QStringLiteral("OVRA_ST_GUI_") + QLatin1Char(side)), path)));
        request.setRawHeader("X-API-Key", m_env.value(QStringLiteral("OVRA_ST_KEY")).toUtf8());
        QNetworkReply* reply = m_network.post(request, QByteArray());
        if (!QTest::qWaitFor([reply] { return reply->isFinished(); }, 15000))
            return false;
        reply->deleteLater();
        return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() == 200;
    }
    bool scan(char side) { return rest(side, QStringLiteral("/rest/db/scan?folder=ovra-test")); }
    QString peerOf(char side) const
    {
        return m_env.value(side == 'A' ? QStringLiteral("OVRA_ST_ID_B") : QStringLiteral("OVRA_ST_ID_A"));
    }

    // The sync file written on one side reaches the other.
    void carry(char from, char to)
    {
        QVERIFY(scan(from));
        const QByteArray written = readFile(dataFile(from));
        QVERIFY(!written.isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(readFile(dataFile(to)), written, 30000);
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (folder('A').isEmpty())
            QSKIP("run through tests/rigs/with-syncthing-pair.sh");
    }

    void conflictOnBothSidesConverges()
    {
        SyncDevice a(folder('A'), QStringLiteral("A"));
        SyncDevice b(folder('B'), QStringLiteral("B"));
        const Note first = note(QStringLiteral("écrite sur A"));
        QVERIFY(a.store->insert(first));
        QCOMPARE(a.run(), QString::fromUtf8(ICloudSync::kSentMessage));
        carry('A', 'B');
        QCOMPARE(b.run(), QString::fromUtf8(ICloudSync::kReceivedMessage));
        QVERIFY(b.store->find<Note>(first.id));

        // The link goes down; each side edits and writes its own version 2.
        QVERIFY(rest('A', QStringLiteral("/rest/system/pause?device=") + peerOf('A')));
        QVERIFY(rest('B', QStringLiteral("/rest/system/pause?device=") + peerOf('B')));
        const Note onA = note(QStringLiteral("hors ligne sur A"));
        const Note onB = note(QStringLiteral("hors ligne sur B"));
        QVERIFY(a.store->insert(onA));
        QVERIFY(b.store->insert(onB));
        QCOMPARE(a.run(), QString::fromUtf8(ICloudSync::kSentMessage));
        QCOMPARE(b.run(), QString::fromUtf8(ICloudSync::kSentMessage));
        QCOMPARE(a.version(), 2);
        QCOMPARE(b.version(), 2);
        QVERIFY(scan('A'));
        QVERIFY(scan('B'));

        // Back together: Syncthing keeps one version and leaves the other as a conflict copy.
        QVERIFY(rest('A', QStringLiteral("/rest/system/resume?device=") + peerOf('A')));
        QVERIFY(rest('B', QStringLiteral("/rest/system/resume?device=") + peerOf('B')));
        auto conflicts = [this](char side) {
            return CloudFolder(folder(side) + QStringLiteral("/Documents")).conflictCopies(QStringLiteral("ovra-data.json"));
        };
        QTRY_VERIFY_WITH_TIMEOUT(!conflicts('A').isEmpty() && !conflicts('B').isEmpty() &&
                                     readFile(dataFile('A')) == readFile(dataFile('B')),
                                 40000);
        QVERIFY(conflicts('A').first().startsWith(QStringLiteral("ovra-data.sync-conflict-")));

        // Each device merges the file and the conflict copy, writes, and the other follows.
        a.run();
        QVERIFY(a.log.contents().contains(QStringLiteral("SYNC version en conflit iCloud fusionnée (v2)")));
        carry('A', 'B');
        QTRY_VERIFY_WITH_TIMEOUT(conflicts('B').isEmpty(), 30000);
        b.run();
        if (b.version() > a.version())
            carry('B', 'A');
        a.run();

        for (SyncDevice* d : {&a, &b}) {
            QVERIFY(d->store->find<Note>(first.id));
            QVERIFY(d->store->find<Note>(onA.id));
            QVERIFY(d->store->find<Note>(onB.id));
        }
        QCOMPARE(a.ids<Note>(), b.ids<Note>());
        QVERIFY(conflicts('A').isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestSyncthingEndToEnd)
#include "tst_syncthing_e2e.moc"
