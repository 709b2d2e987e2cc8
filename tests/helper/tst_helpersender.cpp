// The program as the phone: pairing with and sending to a real receiver over loopback.
#include "AwaitTask.h"
#include "ai/KeychainManager.h"
#include "helper/HelperDelivery.h"
#include "helper/HelperSender.h"
#include "helper/HostDisplayName.h"
#include "helper/MacHelperReceiver.h"
#include "platform/linux/secret/MemorySecretStore.h"
#include "store/DebugLog.h"
#include "store/Settings.h"

#include <QTemporaryDir>
#include <QTest>

namespace {

struct RecordingDelivery : HelperDelivery
{
    QStringList copied;
    bool pasteAtCursor(const QString& text) override { return copied << text, false; }
    void copyToClipboard(const QString& text) override { copied << text; }
};

} // namespace

class TestHelperSender : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void targets_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");
        QTest::newRow("name") << "bureau.local:5123" << "bureau.local" << 5123;
        QTest::newRow("IPv4") << "192.168.1.20:80" << "192.168.1.20" << 80;
        QTest::newRow("IPv6") << "[fe80::1]:5123" << "fe80::1" << 5123;
        QTest::newRow("no port") << "bureau" << "" << 0;
        QTest::newRow("port 0") << "bureau:0" << "" << 0;
        QTest::newRow("port 65536") << "bureau:65536" << "" << 0;
        QTest::newRow("no host") << ":5123" << "" << 0;
        QTest::newRow("port not a number") << "bureau:http" << "" << 0;
    }
    void targets()
    {
        QFETCH(QString, text);
        QFETCH(QString, host);
        QFETCH(int, port);
        const auto t = HelperTarget::parse(text);
        QCOMPARE(t.has_value(), port != 0);
        if (t) {
            QCOMPARE(t->host, host);
            QCOMPARE(int(t->port), port);
        }
    }

    void prettyNames_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("name");
        QTest::newRow("quoted") << QByteArray("CHASSIS=laptop\nPRETTY_HOSTNAME=\"Portable de Zoé\"\n") << "Portable de Zoé";
        QTest::newRow("bare") << QByteArray("PRETTY_HOSTNAME=Bureau\n") << "Bureau";
        QTest::newRow("single quotes") << QByteArray("PRETTY_HOSTNAME='Le \"grand\" bureau'") << "Le \"grand\" bureau";
        QTest::newRow("escaped") << QByteArray("PRETTY_HOSTNAME=\"a \\\"b\\\"\"") << "a \"b\"";
        QTest::newRow("absent") << QByteArray("CHASSIS=desktop\n") << "";
        QTest::newRow("not text") << QByteArray("\0\xff\xfe", 3) << "";
    }
    void prettyNames()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, name);
        QTemporaryDir dir;
        QFile f(dir.filePath(QStringLiteral("machine-info")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(file);
        f.close();
        QCOMPARE(HostDisplayName::prettyName(f.fileName()), name);
        QCOMPARE(HostDisplayName::prettyName(dir.filePath(QStringLiteral("absent"))), QString());
    }

    void pairThenSend()
    {
        QTemporaryDir dir;
        Settings settings(dir.path());
        DebugLog log(dir.path());
        MemorySecretStore desktopSecrets, laptopSecrets;
        KeychainManager desktopKeychain(desktopSecrets), laptopKeychain(laptopSecrets);
        RecordingDelivery delivery;
        MacHelperReceiver receiver(settings, desktopKeychain, delivery, log, nullptr, {QStringLiteral("Bureau")});
        receiver.setEnabled(true);
        QTRY_VERIFY_WITH_TIMEOUT(receiver.isRunning(), 10000);
        const HelperTarget target{QStringLiteral("127.0.0.1"), receiver.port()};
        HelperSender sender(laptopKeychain, QStringLiteral("LAPTOP-1"), QStringLiteral("Portable"));

        auto sent = awaitTask(sender.send(target, QStringLiteral("trop tôt")));
        QVERIFY(!sent);
        QCOMPARE(sent.error(), HelperSender::reasonText(QStringLiteral("unpaired")));

        receiver.startPairing();
        const QString code = *receiver.pairingCode();
        auto paired = awaitTask(sender.pair(target, code == QLatin1String("123456") ? QStringLiteral("654321")
                                                                                     : QStringLiteral("123456")));
        QVERIFY(!paired);
        QCOMPARE(paired.error(), QStringLiteral("Code d'association incorrect"));
        QCOMPARE(awaitTask(sender.pair(target, QStringLiteral("12a456"))).error(),
                 QStringLiteral("Le code d'association a six chiffres"));
        paired = awaitTask(sender.pair(target, code));
        QVERIFY2(paired, qPrintable(paired ? QString() : paired.error()));
        QCOMPARE(*paired, QStringLiteral("Bureau"));
        QCOMPARE(receiver.pairedPhones().value(0).name, QStringLiteral("Portable"));
        QCOMPARE(receiver.pairedPhones().value(0).deviceType, QStringLiteral("linux"));

        sent = awaitTask(sender.send(target, QStringLiteral("Bonjour du portable")));
        QVERIFY2(sent, qPrintable(sent ? QString() : sent.error()));
        QCOMPARE(delivery.copied, QStringList{QStringLiteral("Bonjour du portable")});
        QCOMPARE(receiver.lastReceived()->deviceName, QStringLiteral("Portable"));

        receiver.removePhone(QStringLiteral("LAPTOP-1"));
        sent = awaitTask(sender.send(target, QStringLiteral("oublié")));
        QVERIFY(!sent);
        QCOMPARE(sent.error(), HelperSender::reasonText(QStringLiteral("unpaired")));

        // Nobody listening: the connection error, not a hang.
        receiver.setEnabled(false);
        QTRY_VERIFY(!receiver.isRunning());
        sent = awaitTask(sender.send(target, QStringLiteral("personne")));
        QVERIFY(!sent);
        QVERIFY2(sent.error().startsWith(QStringLiteral("Connexion impossible à 127.0.0.1:")), qPrintable(sent.error()));
    }
};

QTEST_GUILESS_MAIN(TestHelperSender)
#include "tst_helpersender.moc"
