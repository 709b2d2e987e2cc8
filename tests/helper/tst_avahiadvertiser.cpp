// Advertisement through a real Avahi daemon (tests/rigs/with-avahi.sh), checked by resolving
// the service through the same daemon.
#include "platform/linux/avahi/AvahiServiceAdvertiser.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
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
