// Advertisement through a real Avahi daemon (tests/rigs/with-avahi.sh), checked by resolving
// the service through the same daemon; browsing it as `ovra helper send TEXT` does.
#include "AwaitTask.h"
#include "ai/KeychainManager.h"
#include "helper/HelperDelivery.h"
#include "helper/HelperDiscovery.h"
#include "helper/MacHelperReceiver.h"
#include "platform/linux/avahi/AvahiServiceAdvertiser.h"
#include "platform/linux/avahi/AvahiServiceBrowser.h"
#include "platform/linux/secret/MemorySecretStore.h"
#include "store/DebugLog.h"
#include "store/Settings.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Outcome
{
    std::optional<bool> advertised;
    QString error;
};

struct Resolved
{
    QString name;
    quint16 port = 0;
    QList<QByteArray> txt;
};

std::optional<Resolved> resolve(const QString& name, const QString& type)
{
    QDBusMessage m = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.Avahi"), QStringLiteral("/"),
                                                    QStringLiteral("org.freedesktop.Avahi.Server"),
                                                    QStringLiteral("ResolveService"));
    m.setArguments({-1, 0 /* IPv4 */, name, type, QStringLiteral("local"), 0, 0u});
    const QDBusMessage r = QDBusConnection::systemBus().call(m, QDBus::Block, 10000);
    if (r.type() == QDBusMessage::ErrorMessage || r.arguments().size() < 10) {
        qWarning() << r.errorName() << r.errorMessage();
        return std::nullopt;
    }
    Resolved out;
    out.name = r.arguments().at(2).toString();
    out.port = r.arguments().at(8).value<quint16>();
    out.txt = qdbus_cast<QList<QByteArray>>(r.arguments().at(9));
    return out;
}

} // namespace

class TestAvahiAdvertiser : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // A receiver announcing itself is found by browsing, resolved to an address and port that
    // answer, and picked for sending once this device is paired with it. Runs first, while its
    // service is the only one of the type.
    void browsingFindsTheReceiver()
    {
        struct Copies : HelperDelivery
        {
            QStringList texts;
            bool pasteAtCursor(const QString& text) override { return texts << text, false; }
            void copyToClipboard(const QString& text) override { texts << text; }
        };
        QTemporaryDir dir;
        Settings settings(dir.path());
        DebugLog log(dir.path());
        MemorySecretStore desktopSecrets, laptopSecrets;
        KeychainManager desktopKeychain(desktopSecrets), laptopKeychain(laptopSecrets);
        Copies delivery;
        AvahiServiceAdvertiser advertiser;
        MacHelperReceiver receiver(settings, desktopKeychain, delivery, log, &advertiser, {QStringLiteral("Atelier")});
        receiver.setEnabled(true);
        QTRY_VERIFY_WITH_TIMEOUT(receiver.isAdvertised(), 10000);

        AvahiServiceBrowser browser;
        const auto found = awaitTask(browser.browse(QStringLiteral("_ovra-helper._tcp"), std::chrono::seconds(5)));
        QVERIFY2(found, qPrintable(found ? QString() : found.error()));
        QCOMPARE(found->size(), 1);
        QCOMPARE(found->first().port, receiver.port());
        QCOMPARE(found->first().txt.value(QStringLiteral("id")), receiver.helperID().toUtf8());
        QCOMPARE(found->first().txt.value(QStringLiteral("name")), QByteArray("Atelier"));
        QVERIFY(!found->first().address.isEmpty());

        HelperDiscovery discovery(browser, laptopKeychain);
        QVERIFY(!awaitTask(discovery.forSending()));
        const auto forPairing = awaitTask(discovery.forPairing());
        QVERIFY2(forPairing, qPrintable(forPairing ? QString() : forPairing.error()));
        HelperSender sender(laptopKeychain, QStringLiteral("LAPTOP-1"), QStringLiteral("Portable"));
        receiver.startPairing();
        QVERIFY(awaitTask(sender.pair(*forPairing, *receiver.pairingCode())));
        const auto forSending = awaitTask(discovery.forSending());
        QVERIFY2(forSending, qPrintable(forSending ? QString() : forSending.error()));
        QVERIFY(awaitTask(sender.send(*forSending, QStringLiteral("trouvé sur le réseau"))));
        QCOMPARE(delivery.texts, QStringList{QStringLiteral("trouvé sur le réseau")});
    }

    void publishResolveAndRename()
    {
        QVERIFY2(QDBusConnection::systemBus().isConnected(), "run through tests/rigs/with-avahi.sh");
        const QString type = QStringLiteral("_ovra-helper._tcp");
        const QString name = QStringLiteral("Ovra Helper — Bureau");
        const ServiceAdvertiser::TxtRecord txt{{QStringLiteral("id"), "5B1F-HELPER"}, {QStringLiteral("name"), "Bureau"}};

        AvahiServiceAdvertiser first;
        Outcome a;
        first.setHandler([&](bool ok, const QString& e) { a = {ok, e}; });
        first.publish(name, type, 4321, txt);
        QTRY_VERIFY_WITH_TIMEOUT(a.advertised.has_value(), 10000);
        QVERIFY2(*a.advertised, qPrintable(a.error));
        QCOMPARE(first.publishedName(), name);

        auto r = resolve(name, type);
        QVERIFY(r);
        QCOMPARE(r->port, quint16(4321));
        QVERIFY(r->txt.contains("id=5B1F-HELPER"));
        QVERIFY(r->txt.contains("name=Bureau"));

        // A second computer with the same name gets Avahi's next name, and both resolve.
        AvahiServiceAdvertiser second;
        Outcome b;
        second.setHandler([&](bool ok, const QString& e) { b = {ok, e}; });
        second.publish(name, type, 4322, txt);
        QTRY_VERIFY_WITH_TIMEOUT(b.advertised.has_value(), 10000);
        QVERIFY2(*b.advertised, qPrintable(b.error));
        QVERIFY(second.publishedName() != name);
        r = resolve(second.publishedName(), type);
        QVERIFY(r);
        QCOMPARE(r->port, quint16(4322));

        // A new port replaces the entry.
        a = {};
        first.publish(name, type, 4400, txt);
        QTRY_VERIFY_WITH_TIMEOUT(a.advertised.has_value(), 10000);
        QVERIFY(*a.advertised);
        // Resolvers may answer from their cache until the new record reaches it.
        QTRY_COMPARE_WITH_TIMEOUT(resolve(name, type).value_or(Resolved{}).port, quint16(4400), 15000);
    }

    void noDaemonIsReported()
    {
        AvahiServiceBrowser browser(
            QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/ovra-bus"), QStringLiteral("nobrowse")));
        QVERIFY(!awaitTask(browser.browse(QStringLiteral("_ovra-helper._tcp"), std::chrono::seconds(1))));

        AvahiServiceAdvertiser advertiser(
            QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/ovra-bus"), QStringLiteral("none")));
        Outcome o;
        advertiser.setHandler([&](bool ok, const QString& e) { o = {ok, e}; });
        advertiser.publish(QStringLiteral("x"), QStringLiteral("_ovra-helper._tcp"), 1, {});
        QTRY_VERIFY_WITH_TIMEOUT(o.advertised.has_value(), 10000);
        QVERIFY(!*o.advertised);
        QVERIFY(!o.error.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestAvahiAdvertiser)
#include "tst_avahiadvertiser.moc"
