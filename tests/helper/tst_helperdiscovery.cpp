// Which computer `ovra helper pair CODE` and `ovra helper send TEXT` pick among those the local
// network announces: the only one for pairing, the only paired one for sending, never a guess.
#include "AwaitTask.h"
#include "FakeServiceBrowser.h"
#include "ai/KeychainManager.h"
#include "helper/HelperDiscovery.h"
#include "platform/linux/secret/MemorySecretStore.h"

#include <QTest>

namespace {
FoundService receiver(const QString& name, const QString& address, quint16 port, const QByteArray& id)
{
    FoundService s{QStringLiteral("Ovra Helper — ") + name, address, port, {}};
    if (!id.isEmpty())
        s.txt = {{QStringLiteral("id"), id}, {QStringLiteral("name"), name.toUtf8()}};
    return s;
}
} // namespace

class TestHelperDiscovery : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void picks_data()
    {
        QTest::addColumn<QList<FoundService>>("found");
        QTest::addColumn<QStringList>("pairedIDs");
        QTest::addColumn<bool>("sending");
        QTest::addColumn<QString>("target");   // "host:port", or empty for an error
        QTest::addColumn<QString>("error");    // part of the message

        const FoundService bureau = receiver("Bureau", "192.168.1.20", 5123, "ID-BUREAU");
        const FoundService salon = receiver("Salon", "192.168.1.30", 6000, "ID-SALON");
        QTest::newRow("pair: the only one") << QList{bureau} << QStringList{} << false << "192.168.1.20:5123" << "";
        QTest::newRow("pair: two") << QList{bureau, salon} << QStringList{} << false << ""
                                   << "Plusieurs ordinateurs Ovra sur le réseau local : « Bureau » (192.168.1.20:5123), "
                                      "« Salon » (192.168.1.30:6000) : indiquez HÔTE:PORT";
        QTest::newRow("pair: none") << QList<FoundService>{} << QStringList{} << false << ""
                                    << "Aucun ordinateur Ovra n'est annoncé sur le réseau local : indiquez HÔTE:PORT";
        QTest::newRow("send: the paired one of two") << QList{bureau, salon} << QStringList{"ID-SALON"} << true
                                                     << "192.168.1.30:6000" << "";
        QTest::newRow("send: none paired") << QList{bureau} << QStringList{"ID-OTHER"} << true << ""
                                           << "Aucun ordinateur associé n'est annoncé";
        QTest::newRow("send: both paired") << QList{bureau, salon} << QStringList{"ID-BUREAU", "ID-SALON"} << true
                                           << "" << "Plusieurs ordinateurs Ovra";
        // A record without an id, address or port is nothing one can send to.
        QTest::newRow("send: no id") << QList{receiver("Vieux", "192.168.1.40", 5000, {})} << QStringList{} << true
                                     << "" << "Aucun ordinateur associé";
        QTest::newRow("pair: unresolved ones left out")
            << QList{receiver("Sans port", "192.168.1.50", 0, "X"), receiver("Sans adresse", "", 7000, "Y"), bureau}
            << QStringList{} << false << "192.168.1.20:5123" << "";
    }
    void picks()
    {
        QFETCH(QList<FoundService>, found);
        QFETCH(QStringList, pairedIDs);
        QFETCH(bool, sending);
        QFETCH(QString, target);
        QFETCH(QString, error);
        FakeServiceBrowser browser;
        browser.services = found;
        MemorySecretStore secrets;
        KeychainManager keychain(secrets);
        for (const QString& id : pairedIDs)
            QVERIFY(keychain.save(QByteArray(32, 'k'), QLatin1String(HelperSender::kSecretAccountPrefix) + id));
        HelperDiscovery discovery(browser, keychain);
        const auto picked = awaitTask(sending ? discovery.forSending() : discovery.forPairing());
        QCOMPARE(browser.browsedTypes, QStringList{"_ovra-helper._tcp"});
        if (target.isEmpty()) {
            QVERIFY(!picked);
            QVERIFY2(picked.error().contains(error), qPrintable(picked.error()));
        } else {
            QVERIFY2(picked, qPrintable(picked ? QString() : picked.error()));
            QCOMPARE(QStringLiteral("%1:%2").arg(picked->host).arg(picked->port), target);
        }
    }

    void browsingImpossible()
    {
        FakeServiceBrowser browser;
        browser.error = QStringLiteral("pas de bus système, donc pas de démon Avahi");
        MemorySecretStore secrets;
        KeychainManager keychain(secrets);
        const auto picked = awaitTask(HelperDiscovery(browser, keychain).forSending());
        QVERIFY(!picked);
        QCOMPARE(picked.error(), QStringLiteral("Recherche sur le réseau local impossible (pas de bus système, donc pas "
                                                "de démon Avahi) : indiquez HÔTE:PORT"));
    }
};

QTEST_GUILESS_MAIN(TestHelperDiscovery)
#include "tst_helperdiscovery.moc"
