// "Rechercher les mises à jour…": which feed addresses allow a check, how a feed reads against
// this version, and a check against a local server (answers and faults).
#include "fakes/AwaitTask.h"
#include "fakes/LocalHttpServer.h"
#include "store/Settings.h"
#include "ui/UpdateChecker.h"
#include "ui/WhatsNewDialog.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {
QString describe(const UpdateChecker::Result& r)
{
    if (std::holds_alternative<UpdateChecker::UpToDate>(r))
        return "à jour";
    if (const auto* a = std::get_if<UpdateChecker::Available>(&r))
        return "disponible " + a->version + " " + a->url.toString() + " " + a->notes;
    return "échec " + std::get<UpdateChecker::Failed>(r).message;
}
} // namespace

class UpdateCheckerTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void feedAddress_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<bool>("usable");
        QTest::newRow("absent") << QVariant() << false;
        QTest::newRow("https") << QVariant("https://ovra.app/version.json") << true;
        QTest::newRow("spaces around") << QVariant("  https://ovra.app/v.json ") << true;
        QTest::newRow("plain http elsewhere") << QVariant("http://ovra.app/version.json") << false;
        QTest::newRow("http on this machine") << QVariant("http://127.0.0.1:8080/v.json") << true;
        QTest::newRow("file") << QVariant("file:///etc/passwd") << false;
        QTest::newRow("no host") << QVariant("https://") << false;
        QTest::newRow("not text") << QVariant(42) << false;
        QTest::newRow("garbage") << QVariant("::: pas une adresse") << false;
    }
    void feedAddress()
    {
        QFETCH(QVariant, value);
        QFETCH(bool, usable);
        QTemporaryDir dir;
        Settings settings(dir.path());
        UpdateChecker checker(settings, "1.0.0");
        QSignalSpy spy(&checker, &UpdateChecker::canCheckChanged);
        if (value.isValid())
            settings.setValue(UpdateChecker::kFeedKey, value);
        QCOMPARE(checker.canCheck(), usable);
        if (value.isValid())
            QCOMPARE(spy.size(), 1);
    }

    void feedDocument_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("result");
        const QString unreadable = "échec La réponse du serveur de mises à jour est illisible.";
        QTest::newRow("newer") << QByteArray("{\"version\":\"1.2.0\",\"url\":\"https://ovra.app/dl\",\"notes\":\"Plus rapide\"}")
                               << "disponible 1.2.0 https://ovra.app/dl Plus rapide";
        QTest::newRow("same") << QByteArray("{\"version\":\"1.0.0\"}") << "à jour";
        QTest::newRow("same, shorter form") << QByteArray("{\"version\":\"1.0\"}") << "à jour";
        QTest::newRow("older") << QByteArray("{\"version\":\"0.9.9\"}") << "à jour";
        QTest::newRow("numeric, not text order") << QByteArray("{\"version\":\"1.0.10\"}") << "disponible 1.0.10  ";
        QTest::newRow("page not https is not offered")
            << QByteArray("{\"version\":\"2.0\",\"url\":\"javascript:alert(1)\"}") << "disponible 2.0  ";
        QTest::newRow("no version") << QByteArray("{\"url\":\"https://x\"}") << unreadable;
        QTest::newRow("version with junk") << QByteArray("{\"version\":\"2.0-beta\"}") << unreadable;
        QTest::newRow("version a number") << QByteArray("{\"version\":2}") << unreadable;
        QTest::newRow("array") << QByteArray("[]") << unreadable;
        QTest::newRow("html") << QByteArray("<html>502</html>") << unreadable;
        QTest::newRow("empty") << QByteArray() << unreadable;
    }
    void feedDocument()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, result);
        QCOMPARE(describe(UpdateChecker::parseFeed(body, "1.0.0")), result);
    }

    void checkAgainstALocalFeed()
    {
        QTemporaryDir dir;
        Settings settings(dir.path());
        LocalHttpServer server;
        settings.setValue(UpdateChecker::kFeedKey, QString(server.url() + "/version.json"));
        UpdateChecker checker(settings, "1.0.0");
        server.enqueue(LocalHttpServer::Reply::json(200, "{\"version\":\"1.1.0\",\"notes\":\"n\"}"));
        QCOMPARE(describe(awaitTask(checker.check())), QStringLiteral("disponible 1.1.0  n"));
        QVERIFY(checker.canCheck());
        server.enqueue(LocalHttpServer::Reply::json(404, "{}"));
        QVERIFY(describe(awaitTask(checker.check())).startsWith("échec Impossible de joindre le serveur de mises à jour"));
        // A dropped connection (Qt retries it once, on the server's default answer) is a failure.
        server.enqueue(LocalHttpServer::Reply::drop());
        QVERIFY(describe(awaitTask(checker.check())).startsWith("échec "));
        QVERIFY(checker.canCheck());
    }

    void whatsNewOncePerVersion()
    {
        QTemporaryDir dir;
        Settings settings(dir.path());
        // First start ever: nothing is new, the version is remembered.
        QVERIFY(!WhatsNewDialog::shouldShow(settings, "1.0.0"));
        QVERIFY(!WhatsNewDialog::shouldShow(settings, "1.0.0"));
        QVERIFY(WhatsNewDialog::shouldShow(settings, "1.1.0"));
        WhatsNewDialog::markSeen(settings, "1.1.0");
        QVERIFY(!WhatsNewDialog::shouldShow(settings, "1.1.0"));
        QVERIFY(!WhatsNewDialog::notes("1.1.0").isEmpty());
    }
};

QTEST_MAIN(UpdateCheckerTest)
#include "tst_updatechecker.moc"
