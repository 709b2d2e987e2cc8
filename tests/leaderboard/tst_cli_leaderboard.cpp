// `ovra leaderboard` as a user runs it: the real binary, the rig's keyring keeping the password
// between runs, and the rig's CouchDB-compatible server.
#include "fakes/OvraProcess.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

class TestCliLeaderboard : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;

    OvraRun ovra(const QStringList& args, const QByteArray& input = {})
    {
        auto env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("OVRA_SECRET_STORE")); // the real Secret Service of the rig
        return runOvra(m_home.path(), args, input, env);
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (qEnvironmentVariable("OVRA_COUCHDB_URL").isEmpty())
            QSKIP("needs tests/rigs/with-couchdb.sh");
    }

    void joinShowLeave()
    {
        const QString url = qEnvironmentVariable("OVRA_COUCHDB_URL") + QStringLiteral("/ovra");
        QCOMPARE(ovra({"settings", "set", "ovra.mac.leaderboardURL", url}).code, 0);

        const OvraRun before = ovra({"leaderboard"});
        QCOMPARE(before.code, 1);
        QCOMPARE(before.out, QString());
        QCOMPARE(before.err, QStringLiteral("Connecte-toi à iCloud (Réglages) pour participer au classement.\n"));

        const OvraRun joined = ovra({"leaderboard", "join", "zoé"}, "un secret\n");
        QVERIFY2(joined.code == 0, qPrintable(joined.err));
        QCOMPARE(joined.out, QStringLiteral("Tu participes au classement sous le nom zoé.\n"));

        const OvraRun shown = ovra({"leaderboard"});
        QVERIFY2(shown.code == 0, qPrintable(shown.err));
        QVERIFY2(shown.out.startsWith(QStringLiteral("▸    1  zoé")), qPrintable(shown.out));
        QVERIFY2(shown.out.endsWith(QStringLiteral("Ton rang : 1 (0 mots)\n")), qPrintable(shown.out));

        const OvraRun json = ovra({"leaderboard", "--json"});
        QCOMPARE(json.code, 0);
        const QJsonObject o = QJsonDocument::fromJson(json.out.toUtf8()).object();
        QCOMPARE(o.value("myRank").toInt(), 1);
        QCOMPARE(o.value("myRankIsCapped").toBool(true), false);
        QCOMPARE(o.value("myRecordName").toString(), QStringLiteral("classement-zoé"));
        QCOMPARE(o.value("entries").toArray().size(), 1);
        QVERIFY(o.value("entries").toArray().first().toObject().value("isMe").toBool());

        const OvraRun left = ovra({"leaderboard", "leave"});
        QVERIFY2(left.code == 0, qPrintable(left.err));
        const OvraRun after = ovra({"leaderboard", "--json"});
        QCOMPARE(after.code, 0);
        QVERIFY2(QJsonDocument::fromJson(after.out.toUtf8()).object().value("entries").toArray().isEmpty(),
                 qPrintable(after.out));

        // A wrong password for the same name is refused, and nothing stored changes.
        const OvraRun wrong = ovra({"leaderboard", "join", "zoé"}, "pas le bon\n");
        QCOMPARE(wrong.code, 1);
        QCOMPARE(wrong.err, QStringLiteral("Ce nom est déjà pris, ou le mot de passe ne correspond pas.\n"));
        QCOMPARE(ovra({"leaderboard", "--json"}).code, 0);
    }
};

QTEST_GUILESS_MAIN(TestCliLeaderboard)
#include "tst_cli_leaderboard.moc"
