// The leaderboard against a real CouchDB-compatible server (tests/rigs/with-couchdb.sh), each
// test on a database of its own set up by the shipped server/couchdb/install.sh.
#include "AwaitTask.h"
#include "CouchDBAdmin.h"
#include "LeaderboardTestSupport.h"
#include "stats/StatsSnapshot.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTest>

namespace {

QString words(int n)
{
    return QStringList(n, QStringLiteral("mot")).join(' ');
}

} // namespace

class TestLeaderboardCouchDB : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        if (serverUrl().isEmpty())
            QSKIP("needs tests/rigs/with-couchdb.sh");
    }

    void publishPagesAndLoadMore()
    {
        Admin admin;
        const QString db = admin.createDatabase("pages");
        QVERIFY(admin.bulk("pages", others(60, 1000)));
        LeaderboardRig rig;
        rig.useDatabase(db);
        const auto joined = awaitTask(rig.manager.join("alice", "mot de passe"));
        QVERIFY2(joined, qPrintable(joined ? QString() : joined.error().description()));
        rig.dictate(words(415));

        awaitTask(rig.manager.refresh(*rig.store));
        QVERIFY2(!rig.manager.errorMessage(), qPrintable(rig.log.contents()));
        const auto record = admin.document("pages", "classement-alice");
        QVERIFY(record);
        QCOMPARE(record->value("mots").toInteger(), 415);
        QCOMPARE(record->value("pseudo").toString(), "alice");
        QCOMPARE(record->value("type").toString(), "OvraClassement");

        // 61 records: a full first page in order, then the rest.
        QCOMPARE(rig.manager.entries().size(), 50);
        QVERIFY(rig.manager.hasMore());
        for (qsizetype i = 1; i < rig.manager.entries().size(); ++i)
            QVERIFY(rig.manager.entries()[i - 1].words >= rig.manager.entries()[i].words);
        // 1000, 990, ... 420 are ahead: 59 records.
        QCOMPARE(rig.manager.myRank(), std::optional<qint64>(60));
        QVERIFY(!rig.manager.myRankIsCapped());
        QCOMPARE(readSnapshot(rig.settings)->worldRank, std::optional<qint64>(60));

        awaitTask(rig.manager.loadMore());
        QCOMPARE(rig.manager.entries().size(), 61);
        QVERIFY(!rig.manager.hasMore());
        QSet<QString> ids;
        for (const auto& e : rig.manager.entries())
            ids.insert(e.id);
        QCOMPARE(ids.size(), 61);
        const auto me = std::find_if(rig.manager.entries().cbegin(), rig.manager.entries().cend(),
                                     [](const LeaderboardEntry& e) { return e.isMe; });
        QVERIFY(me != rig.manager.entries().cend());
        QCOMPARE(me->id, "classement-alice");
        QCOMPARE(me->words, 415);
        QCOMPARE(me - rig.manager.entries().cbegin(), 59);
    }

    void rankFirstAndCapped_data()
    {
        QTest::addColumn<bool>("olderSetUp");
        QTest::addColumn<int>("dictated");
        QTest::addColumn<qint64>("rank");
        QTest::addColumn<bool>("capped");
        QTest::newRow("first") << false << 2000 << qint64(1) << false;
        QTest::newRow("capped") << false << 3 << qint64(11) << true;
        QTest::newRow("between") << false << 435 << qint64(8) << false;
        // A database whose design document predates the counting view.
        QTest::newRow("older-first") << true << 2000 << qint64(1) << false;
        QTest::newRow("older-capped") << true << 3 << qint64(11) << true;
    }
    void rankFirstAndCapped()
    {
        QFETCH(bool, olderSetUp);
        QFETCH(int, dictated);
        QFETCH(qint64, rank);
        QFETCH(bool, capped);
        Admin admin;
        const QString name = QTest::currentDataTag();
        const QString db = admin.createDatabase(name);
        QVERIFY(admin.bulk(name, others(12, 500)));
        if (olderSetUp) {
            auto design = admin.document(name, "_design/ovra-classement");
            QVERIFY(design && design->contains("views"));
            design->remove("views");
            QVERIFY(admin.bulk(name, QJsonArray{*design}));
        }
        LeaderboardRig rig(10);
        rig.useDatabase(db);
        QVERIFY(awaitTask(rig.manager.join("bea", "secret")));
        rig.dictate(words(dictated));
        awaitTask(rig.manager.refresh(*rig.store));
        QVERIFY2(!rig.manager.errorMessage(), qPrintable(rig.log.contents()));
        QCOMPARE(rig.manager.myRank().value_or(-1), rank);
        QCOMPARE(rig.manager.myRankIsCapped(), capped);
        QCOMPARE(rig.manager.entries().first().isMe, rank == 1);
    }

    void optOutRemovesTheRecord()
    {
        Admin admin;
        const QString db = admin.createDatabase("optout");
        QVERIFY(admin.bulk("optout", others(3, 100)));
        LeaderboardRig rig;
        rig.useDatabase(db);
        QVERIFY(awaitTask(rig.manager.join("carl", "secret")));
        rig.dictate(words(7));
        awaitTask(rig.manager.refresh(*rig.store));
        QVERIFY(admin.document("optout", "classement-carl"));
        QCOMPARE(rig.manager.entries().size(), 4);

        QVERIFY(awaitTask(rig.manager.leave()));
        QVERIFY(!admin.document("optout", "classement-carl"));
        QVERIFY(rig.log.contents().contains("APP classement: entrée retirée (opt-out)"));
        // Refreshing while opted out publishes nothing and lists the others only.
        awaitTask(rig.manager.refresh(*rig.store));
        QVERIFY2(!rig.manager.errorMessage(), qPrintable(rig.log.contents()));
        QVERIFY(!admin.document("optout", "classement-carl"));
        QCOMPARE(rig.manager.entries().size(), 3);
        for (const auto& e : rig.manager.entries())
            QVERIFY(!e.isMe);

        // Joining again publishes again.
        QVERIFY(awaitTask(rig.manager.join("carl", "secret")));
        awaitTask(rig.manager.refresh(*rig.store));
        QVERIFY(admin.document("optout", "classement-carl"));
    }

    void anotherUsersRecordIsRefused()
    {
        Admin admin;
        const QString db = admin.createDatabase("owners");
        LeaderboardRig alice;
        alice.useDatabase(db);
        QVERIFY(awaitTask(alice.manager.join("amelie", "pa")));
        alice.dictate(words(3));
        awaitTask(alice.manager.refresh(*alice.store));
        const auto before = admin.document("owners", "classement-amelie");
        QVERIFY(before);

        // Bruno, signed in, goes around the program and writes to the database himself.
        LeaderboardRig bob;
        bob.useDatabase(db);
        QVERIFY(awaitTask(bob.manager.join("bruno", "pb")));
        // A wrong password for a name that exists is told apart from a new account.
        const auto stolen = awaitTask(bob.manager.join("amelie", "not hers"));
        QVERIFY(!stolen);
        QCOMPARE(stolen.error().kind(), LeaderboardError::Kind::wrongPassword);

        CouchDBClient client(bob.network, *CouchDBLocation::parse(db));
        client.setCredentials(CouchDBCredentials{"bruno", "pb"});
        QJsonObject forged = *before;
        forged.insert("mots", 0);
        forged.insert("pseudo", "pirate");
        const auto written = awaitTask(client.putDocument("classement-amelie", forged));
        QVERIFY(!written);
        QCOMPARE(written.error().kind(), LeaderboardError::Kind::permissionFailure);
        const auto removed = awaitTask(client.deleteDocument("classement-amelie", before->value("_rev").toString()));
        QVERIFY(!removed);
        QCOMPARE(removed.error().kind(), LeaderboardError::Kind::permissionFailure);
        QCOMPARE(admin.document("owners", "classement-amelie"), before);

        // His own record must keep "mots" a non-negative integer.
        const QJsonObject own{{"type", "OvraClassement"}, {"pseudo", "Bruno"}, {"majLe", "2026-12-10T16:00:00.000Z"}};
        for (const QJsonValue& bad : {QJsonValue(-1), QJsonValue(2.5), QJsonValue("12"), QJsonValue()}) {
            QJsonObject doc = own;
            if (!bad.isNull())
                doc.insert("mots", bad);
            const auto refused = awaitTask(client.putDocument("classement-bruno", doc));
            QVERIFY(!refused);
            QCOMPARE(refused.error().kind(), LeaderboardError::Kind::permissionFailure);
        }
        QJsonObject good = own;
        good.insert("mots", 12);
        QVERIFY(awaitTask(client.putDocument("classement-bruno", good)));

        // Anonymous writes are refused too.
        CouchDBClient anonymous(bob.network, *CouchDBLocation::parse(db));
        const auto anon = awaitTask(anonymous.putDocument("classement-nobody", good));
        QVERIFY(!anon);
        QCOMPARE(anon.error().kind(), LeaderboardError::Kind::notAuthenticated);
    }

    void recordsOnlyAnAdminCouldWriteDecodeLeniently()
    {
        Admin admin;
        const QString db = admin.createDatabase("lenient");
        QVERIFY(admin.bulk("lenient", QJsonArray{
            QJsonObject{{"_id", "classement-texte"}, {"type", "OvraClassement"}, {"mots", "beaucoup"}},
            QJsonObject{{"_id", "classement-long"}, {"type", "OvraClassement"}, {"mots", 9},
                        {"pseudo", QString(10240, QChar('y'))}},
        }));
        LeaderboardRig rig;
        rig.useDatabase(db);
        QVERIFY(awaitTask(rig.manager.join("dora", "secret")));
        awaitTask(rig.manager.refresh(*rig.store));
        QVERIFY2(!rig.manager.errorMessage(), qPrintable(rig.log.contents()));
        // "mots" as text is left out of the list and the rank (text would sort above every
        // number); a 10 kB pseudo is cut.
        QCOMPARE(rig.manager.entries().size(), 2);
        QCOMPARE(rig.manager.entries()[0].pseudo, QString(40, QChar('y')));
        QCOMPARE(rig.manager.entries()[1].id, "classement-dora");
        QCOMPARE(rig.manager.myRank(), std::optional<qint64>(2));
    }
};

QTEST_GUILESS_MAIN(TestLeaderboardCouchDB)
#include "tst_leaderboardcouchdb.moc"
