// The receiver over loopback, driven by the phone side of the program.
#include "AwaitTask.h"
#include "ai/KeychainManager.h"
#include "helper/HelperDelivery.h"
#include "helper/HelperPhoneClient.h"
#include "helper/MacHelperReceiver.h"
#include "platform/ServiceAdvertiser.h"
#include "platform/linux/secret/MemorySecretStore.h"
#include "store/AppSettingsKeys.h"
#include "store/DebugLog.h"
#include "store/Settings.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

using namespace std::chrono_literals;
namespace Req = HelperPhoneRequests;

namespace {

struct FakeDelivery : HelperDelivery
{
    QStringList pasted;
    QStringList copied;
    bool pasteWorks = true;
    bool pasteAtCursor(const QString& text) override
    {
        pasted << text;
        return pasteWorks;
    }
    void copyToClipboard(const QString& text) override { copied << text; }
};

struct FakeAdvertiser : ServiceAdvertiser
{
    QString name, type;
    quint16 port = 0;
    TxtRecord txt;
    int withdrawals = 0;
    Handler handler;
    void publish(const QString& n, const QString& t, quint16 p, const TxtRecord& r) override
    {
        name = n;
        type = t;
        port = p;
        txt = r;
        if (handler)
            handler(true, {});
    }
    void withdraw() override { ++withdrawals; }
    void setHandler(Handler h) override { handler = std::move(h); }
};

const QString kPhone = QStringLiteral("7C1D3E2A-PHONE");
const QDateTime kStart = QDateTime::fromSecsSinceEpoch(1765370000, Qt::UTC);

QByteArray prefix(quint32 length)
{
    QByteArray p(4, Qt::Uninitialized);
    qToBigEndian(length, p.data());
    return p;
}

QByteArray rawFrame(const QByteArray& json) { return prefix(quint32(json.size())) + json; }

// The receiver with its real collaborators in a temporary folder, on a clock the test moves.
struct Rig
{
    QTemporaryDir dir;
    Settings settings{dir.path()};
    DebugLog log{dir.path()};
    MemorySecretStore secrets;
    KeychainManager keychain{secrets};
    FakeDelivery delivery;
    FakeAdvertiser advertiser;
    QDateTime now = kStart;
    std::unique_ptr<MacHelperReceiver> receiver;

    explicit Rig(MacHelperReceiver::Options options = {})
    {
        options.helperName = QStringLiteral("Bureau");
        options.clock = [this] { return now; };
        if (options.restartDelay == 3000ms)
            options.restartDelay = 50ms;
        m_options = options;
        rebuild();
    }
    // A new receiver on the same settings and keychain, as after a restart of the program.
    void rebuild()
    {
        receiver.reset();
        receiver = std::make_unique<MacHelperReceiver>(settings, keychain, delivery, log, &advertiser, m_options);
    }
    MacHelperReceiver::Options m_options;
    bool listen()
    {
        receiver->start();
        receiver->setEnabled(true);
        return QTest::qWaitFor([&] { return receiver->isRunning(); }, 10000);
    }
    HelperPhoneClient client() const { return HelperPhoneClient(QStringLiteral("127.0.0.1"), receiver->port()); }
    Expected<Message, QString> send(const Message& m) const { return awaitTask(client().exchange(m)); }
    std::optional<Message> sendRaw(const QByteArray& bytes) const
    {
        auto r = awaitTask(client().exchangeRaw(bytes));
        return r ? *r : std::nullopt;
    }
    QString reasonFor(const Message& m) const
    {
        auto r = send(m);
        if (!r)
            return QStringLiteral("failed: ") + r.error();
        return r->type == HelperMessageType::error ? r->reason.value_or(QStringLiteral("?")) : r->type;
    }
    // Pairs kPhone with the code on screen; the secret it chose.
    QByteArray pair(const QString& deviceID = kPhone)
    {
        receiver->startPairing();
        const QByteArray secret = HelperProtocol::randomBytes(32);
        const QByteArray key = HelperProtocol::deriveKey(*receiver->pairingCode(), deviceID);
        const QString r = reasonFor(Req::pair(key, deviceID, QStringLiteral("iPhone de Zoé"), QStringLiteral("iphone"),
                                              secret, now.toSecsSinceEpoch()));
        return r == QLatin1String("pairOK") ? secret : QByteArray();
    }
};

QString otherCode(const QString& code)
{
    return code == QLatin1String("000000") ? QStringLiteral("000001") : QStringLiteral("000000");
}

} // namespace

class TestMacHelperReceiver : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void pairPingPushAndReload()
    {
        Rig rig;
        // An entry this version cannot read survives every later write of the list.
        const QVariantMap alien{{QStringLiteral("id"), 42}};
        rig.settings.setValue(QString(AppSettingsKey::helperPhones), QVariantList{alien});
        rig.rebuild();
        QVERIFY(rig.listen());
        QCOMPARE(rig.advertiser.type, QStringLiteral("_ovra-helper._tcp"));
        QCOMPARE(rig.advertiser.name, QStringLiteral("Ovra Helper — Bureau"));
        QCOMPARE(rig.advertiser.port, rig.receiver->port());
        QCOMPARE(rig.advertiser.txt.value(0), std::make_pair(QStringLiteral("id"), rig.receiver->helperID().toUtf8()));
        QCOMPARE(rig.advertiser.txt.value(1), std::make_pair(QStringLiteral("name"), QByteArray("Bureau")));
        QVERIFY(rig.receiver->isAdvertised());
        QVERIFY(rig.log.contents().contains(QStringLiteral("OvraHelper: à l'écoute (port %1)").arg(rig.receiver->port())));

        Message ping;
        ping.type = HelperMessageType::ping;
        ping.deviceID = kPhone;
        auto pong = rig.send(ping);
        QVERIFY2(pong, qPrintable(pong ? QString() : pong.error()));
        QCOMPARE(pong->type, QStringLiteral("pong"));
        QCOMPARE(pong->paired, false);
        QCOMPARE(pong->helperID, rig.receiver->helperID());
        QCOMPARE(pong->helperName, QStringLiteral("Bureau"));

        const QByteArray secret = rig.pair();
        QVERIFY(!secret.isEmpty());
        QVERIFY(!rig.receiver->pairingCode());
        QCOMPARE(rig.receiver->pairedPhones().size(), 1);
        const HelperPairedPhone phone = rig.receiver->pairedPhones().first();
        QCOMPARE(phone.id, kPhone);
        QCOMPARE(phone.name, QStringLiteral("iPhone de Zoé"));
        QCOMPARE(phone.deviceType, QStringLiteral("iphone"));
        QCOMPARE(phone.pairedAt, kStart);
        QCOMPARE(rig.keychain.read(QStringLiteral("mirelo.helper.phoneSecret.") + kPhone), secret);
        QCOMPARE(rig.send(ping)->paired, true);

        const qint64 t = rig.now.toSecsSinceEpoch();
        QCOMPARE(rig.reasonFor(Req::push(secret, kPhone, QStringLiteral("Bonjour"), QStringLiteral("Zoé"), t)),
                 QStringLiteral("ok"));
        QCOMPARE(rig.delivery.copied, QStringList{QStringLiteral("Bonjour")});
        QVERIFY(rig.delivery.pasted.isEmpty());
        QCOMPARE(rig.receiver->lastReceived()->deviceName, QStringLiteral("Zoé"));
        QCOMPARE(rig.receiver->lastReceived()->deliveryText(), QStringLiteral("presse-papier"));

        rig.receiver->setAutoPaste(true);
        QCOMPARE(rig.reasonFor(Req::push(secret, kPhone, QStringLiteral("Encore"), QStringLiteral("Zoé"), t)),
                 QStringLiteral("ok"));
        QCOMPARE(rig.delivery.pasted, QStringList{QStringLiteral("Encore")});
        QCOMPARE(rig.receiver->lastReceived()->deliveryText(), QStringLiteral("collée"));

        // A second receiver on the same settings knows the phone and its secret.
        const QString helperID = rig.receiver->helperID();
        rig.rebuild();
        QVERIFY(rig.listen());
        QCOMPARE(rig.receiver->helperID(), helperID);
        QCOMPARE(rig.receiver->pairedPhones(), QList<HelperPairedPhone>{phone});
        QVERIFY(rig.receiver->autoPaste());
        QCOMPARE(rig.reasonFor(Req::push(secret, kPhone, QStringLiteral("Après"), QStringLiteral("Zoé"), t)),
                 QStringLiteral("ok"));
        const QVariantList stored = rig.settings.value(QString(AppSettingsKey::helperPhones)).toList();
        QCOMPARE(stored.size(), 2);
        QCOMPARE(stored.last().toMap(), alien);
    }

    void pushRefused_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reason");
        QTest::newRow("replay after 46 s") << "replay46" << "stale";
        QTest::newRow("replay at once") << "replay0" << "stale";
        QTest::newRow("sent 46 s ago") << "old46" << "stale";
        QTest::newRow("sent 45 s ago") << "old45" << "ok";
        QTest::newRow("sent 46 s ahead") << "ahead46" << "stale";
        QTest::newRow("other deviceID as additional data") << "aad" << "badPayload";
        QTest::newRow("sealed under another key") << "key" << "badPayload";
        QTest::newRow("payload of 15 bytes") << "short" << "badPayload";
        QTest::newRow("no nonce") << "nononce" << "badPayload";
        QTest::newRow("nonce of 8 bytes") << "nonce8" << "badPayload";
        QTest::newRow("not a push payload") << "notjson" << "badPayload";
        QTest::newRow("unknown phone") << "stranger" << "unpaired";
        QTest::newRow("no deviceID") << "nodevice" << "unpaired";
        QTest::newRow("removed phone") << "removed" << "unpaired";
        QTest::newRow("phone that unpaired") << "unpaired" << "unpaired";
        QTest::newRow("secret gone from the keychain") << "nosecret" << "unpaired";
    }
    void pushRefused()
    {
        QFETCH(QString, kind);
        QFETCH(QString, reason);
        Rig rig;
        QVERIFY(rig.listen());
        const QByteArray secret = rig.pair();
        QVERIFY(!secret.isEmpty());
        const qint64 t = rig.now.toSecsSinceEpoch();
        Message m = Req::push(secret, kPhone, QStringLiteral("Texte"), QStringLiteral("Zoé"), t);
        if (kind.startsWith(QLatin1String("replay"))) {
            QCOMPARE(rig.reasonFor(m), QStringLiteral("ok"));
            rig.now = rig.now.addSecs(kind == QLatin1String("replay46") ? 46 : 0);
        } else if (kind == QLatin1String("old46") || kind == QLatin1String("old45")) {
            m = Req::push(secret, kPhone, QStringLiteral("Texte"), QStringLiteral("Zoé"),
                          t - (kind == QLatin1String("old46") ? 46 : 45));
        } else if (kind == QLatin1String("ahead46")) {
            m = Req::push(secret, kPhone, QStringLiteral("Texte"), QStringLiteral("Zoé"), t + 46);
        } else if (kind == QLatin1String("aad")) {
            m.payload = HelperProtocol::seal(PushPayload{QStringLiteral("x"), t, QStringLiteral("Z")}.toJson(), secret,
                                             *m.nonce, QStringLiteral("ANOTHER-PHONE"));
        } else if (kind == QLatin1String("key")) {
            m = Req::push(HelperProtocol::randomBytes(32), kPhone, QStringLiteral("x"), QStringLiteral("Z"), t);
        } else if (kind == QLatin1String("short")) {
            m.payload = m.payload->left(15);
        } else if (kind == QLatin1String("nononce")) {
            m.nonce.reset();
        } else if (kind == QLatin1String("nonce8")) {
            m.nonce = m.nonce->left(8);
        } else if (kind == QLatin1String("notjson")) {
            m = Req::sealed(HelperMessageType::push, secret, kPhone, "[\"Texte\"]");
        } else if (kind == QLatin1String("stranger")) {
            m = Req::push(secret, QStringLiteral("STRANGER"), QStringLiteral("x"), QStringLiteral("Z"), t);
        } else if (kind == QLatin1String("nodevice")) {
            m.deviceID.reset();
        } else if (kind == QLatin1String("removed")) {
            rig.receiver->removePhone(kPhone);
            QVERIFY(rig.receiver->pairedPhones().isEmpty());
            QVERIFY(!rig.keychain.read(QStringLiteral("mirelo.helper.phoneSecret.") + kPhone));
        } else if (kind == QLatin1String("unpaired")) {
            QCOMPARE(rig.reasonFor(Req::unpair(secret, kPhone, t)), QStringLiteral("ok"));
            QVERIFY(rig.receiver->pairedPhones().isEmpty());
            QVERIFY(!rig.keychain.read(QStringLiteral("mirelo.helper.phoneSecret.") + kPhone));
        } else if (kind == QLatin1String("nosecret")) {
            // A second receiver reads the secret from the keychain, where it is gone.
            QVERIFY(rig.keychain.remove(QStringLiteral("mirelo.helper.phoneSecret.") + kPhone) == 0);
            rig.rebuild();
            QVERIFY(rig.listen());
        }
        const qsizetype delivered = rig.delivery.copied.size();
        QCOMPARE(rig.reasonFor(m), reason);
        QCOMPARE(rig.delivery.copied.size(), delivered + (reason == QLatin1String("ok") ? 1 : 0));
    }

    void pairing_data()
    {
        QTest::addColumn<int>("wrongCodes");
        QTest::addColumn<int>("secondsLater");
        QTest::addColumn<QString>("reason");
        QTest::newRow("119 s after") << 0 << 119 << "pairOK";
        QTest::newRow("121 s after") << 0 << 121 << "notPairing";
        QTest::newRow("four wrong codes then the right one") << 4 << 0 << "pairOK";
        QTest::newRow("five wrong codes then the right one") << 5 << 0 << "notPairing";
    }
    void pairing()
    {
        QFETCH(int, wrongCodes);
        QFETCH(int, secondsLater);
        QFETCH(QString, reason);
        Rig rig;
        QVERIFY(rig.listen());
        rig.receiver->startPairing();
        const QString code = *rig.receiver->pairingCode();
        QCOMPARE(rig.receiver->pairingUntil(), kStart.addSecs(120));
        const QByteArray secret = HelperProtocol::randomBytes(32);
        const QByteArray wrongKey = HelperProtocol::deriveKey(otherCode(code), kPhone);
        for (int i = 0; i < wrongCodes; ++i) {
            QCOMPARE(rig.reasonFor(Req::pair(wrongKey, kPhone, QStringLiteral("Z"), QStringLiteral("iphone"), secret, 0)),
                     QStringLiteral("badCode"));
            QCOMPARE(rig.receiver->pairTries(), (i + 1) % 5);
        }
        rig.now = rig.now.addSecs(secondsLater);
        const QByteArray key = HelperProtocol::deriveKey(code, kPhone);
        QCOMPARE(rig.reasonFor(Req::pair(key, kPhone, QStringLiteral("Z"), QStringLiteral("iphone"), secret, 0)), reason);
        QCOMPARE(rig.receiver->pairedPhones().size(), reason == QLatin1String("pairOK") ? 1 : 0);
        QVERIFY(!rig.receiver->pairingCode());
    }

    void malformedPairUsesATry_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("no nonce") << "nononce";
        QTest::newRow("no deviceID") << "nodevice";
        QTest::newRow("payload of 15 bytes") << "short";
        QTest::newRow("not a pair payload") << "notjson";
        QTest::newRow("secret of 5 bytes") << "secret5";
        QTest::newRow("other deviceID as additional data") << "aad";
    }
    void malformedPairUsesATry()
    {
        QFETCH(QString, kind);
        Rig rig;
        QVERIFY(rig.listen());
        rig.receiver->startPairing();
        const QByteArray key = HelperProtocol::deriveKey(*rig.receiver->pairingCode(), kPhone);
        Message m = Req::pair(key, kPhone, QStringLiteral("Z"), QStringLiteral("iphone"), HelperProtocol::randomBytes(32), 0);
        if (kind == QLatin1String("nononce"))
            m.nonce.reset();
        else if (kind == QLatin1String("nodevice"))
            m.deviceID.reset();
        else if (kind == QLatin1String("short"))
            m.payload = m.payload->left(15);
        else if (kind == QLatin1String("notjson"))
            m = Req::sealed(HelperMessageType::pair, key, kPhone, "{\"secret\":12}");
        else if (kind == QLatin1String("secret5"))
            m = Req::pair(key, kPhone, QStringLiteral("Z"), QStringLiteral("iphone"), "12345", 0);
        else if (kind == QLatin1String("aad"))
            m.payload = HelperProtocol::seal(PairPayload{"k", 0}.toJson(), key, *m.nonce, QStringLiteral("OTHER"));
        QCOMPARE(rig.reasonFor(m), QStringLiteral("badCode"));
        QCOMPARE(rig.receiver->pairTries(), 1);
        QVERIFY(rig.receiver->pairedPhones().isEmpty());
        QVERIFY(rig.receiver->pairingCode());
    }

    void pairWithoutWindow()
    {
        Rig rig;
        QVERIFY(rig.listen());
        const QByteArray key = HelperProtocol::deriveKey(QStringLiteral("123456"), kPhone);
        QCOMPARE(rig.reasonFor(Req::pair(key, kPhone, QStringLiteral("Z"), QStringLiteral("iphone"), key, 0)),
                 QStringLiteral("notPairing"));
        rig.receiver->startPairing();
        rig.receiver->endPairing();
        QCOMPARE(rig.reasonFor(Req::pair(key, kPhone, QStringLiteral("Z"), QStringLiteral("iphone"), key, 0)),
                 QStringLiteral("notPairing"));
    }

    // Requests beyond the window's tries are refused without deriving a key.
    void pairFloodCannotExhaustTheWindow()
    {
        Rig rig;
        QVERIFY(rig.listen());
        rig.receiver->startPairing();
        const QByteArray wrongKey = HelperProtocol::deriveKey(otherCode(*rig.receiver->pairingCode()), kPhone);
        const QByteArray frame =
            *HelperProtocol::encodeFrame(Req::pair(wrongKey, kPhone, QStringLiteral("Z"), QStringLiteral("i"), wrongKey, 0));
        QList<QTcpSocket*> sockets;
        for (int i = 0; i < 12; ++i) {
            auto* s = new QTcpSocket(this);
            s->connectToHost(QHostAddress::LocalHost, rig.receiver->port());
            QVERIFY(s->waitForConnected(5000));
            s->write(frame);
            sockets << s;
        }
        QMap<QString, int> reasons;
        for (QTcpSocket* s : sockets) {
            QByteArray buffer;
            std::optional<Message> reply;
            QVERIFY(QTest::qWaitFor([&] {
                buffer += s->readAll();
                auto r = HelperProtocol::decodeFrame(buffer);
                if (r && r->has_value())
                    reply = **r;
                return reply.has_value();
            }, 30000));
            ++reasons[reply->reason.value_or(QString())];
            delete s;
        }
        QCOMPARE(reasons.value(QStringLiteral("badCode")), 5);
        QCOMPARE(reasons.value(QStringLiteral("notPairing")), 7);
        QVERIFY(!rig.receiver->pairingCode());
    }

    void frames_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("reply");
        QByteArray json = R"({"type":"ping","deviceID":"A"})";
        json.append(QByteArray(1048576 - json.size(), ' '));
        QTest::newRow("1 MiB accepted") << prefix(1048576) + json << "pong";
        QTest::newRow("1 MiB + 1 refused") << prefix(1048577) + json + ' ' << "closed";
        QTest::newRow("length 0") << prefix(0) << "closed";
        QTest::newRow("not JSON") << rawFrame("hello") << "closed";
        QTest::newRow("JSON that is not a message") << rawFrame("[]") << "closed";
        QTest::newRow("nonce not Base64") << rawFrame(R"({"type":"push","nonce":"%%%%"})") << "closed";
        QTest::newRow("unknown type") << rawFrame(R"({"type":"hola"})") << "unknownType";
        QTest::newRow("reply type sent as request") << rawFrame(R"({"type":"ok"})") << "unknownType";
    }
    void frames()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, reply);
        Rig rig;
        QVERIFY(rig.listen());
        auto r = awaitTask(rig.client().exchangeRaw(bytes));
        QVERIFY2(r, qPrintable(r ? QString() : r.error()));
        const QString got = !r->has_value() ? QStringLiteral("closed")
                            : (*r)->type == HelperMessageType::error ? (*r)->reason.value_or(QString())
                                                                      : (*r)->type;
        QCOMPARE(got, reply);
        // The receiver goes on serving.
        Message ping;
        ping.type = HelperMessageType::ping;
        QCOMPARE(rig.reasonFor(ping), QStringLiteral("pong"));
    }

    void oneAndAHalfFramesOnTheWire()
    {
        Rig rig;
        QVERIFY(rig.listen());
        Message ping;
        ping.type = HelperMessageType::ping;
        ping.deviceID = QStringLiteral("one");
        const QByteArray first = *HelperProtocol::encodeFrame(ping);
        ping.type = QStringLiteral("what");
        const QByteArray second = *HelperProtocol::encodeFrame(ping);
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, rig.receiver->port());
        QVERIFY(s.waitForConnected(5000));
        s.write(first + second.left(7));
        QByteArray buffer;
        auto nextReply = [&]() -> std::optional<Message> {
            std::optional<Message> reply;
            (void)QTest::qWaitFor([&] {
                buffer += s.readAll();
                auto r = HelperProtocol::decodeFrame(buffer);
                if (r && r->has_value())
                    reply = **r;
                return reply.has_value() || s.state() != QAbstractSocket::ConnectedState;
            }, 10000);
            return reply;
        };
        auto reply = nextReply();
        QVERIFY(reply);
        QCOMPARE(reply->type, QStringLiteral("pong"));
        s.write(second.mid(7));
        reply = nextReply();
        QVERIFY(reply);
        QCOMPARE(reply->reason, QStringLiteral("unknownType"));
    }

    void connectionLimit()
    {
        Rig rig;
        QVERIFY(rig.listen());
        // Sixteen slow clients: each sent two bytes of a length and nothing more.
        QList<QTcpSocket*> slow;
        for (int i = 0; i < 16; ++i) {
            auto* s = new QTcpSocket(this);
            s->connectToHost(QHostAddress::LocalHost, rig.receiver->port());
            QVERIFY(s->waitForConnected(5000));
            s->write(QByteArray("\0\0", 2));
            slow << s;
        }
        // The seventeenth waits in line, unanswered, until one of the sixteen goes.
        Message ping;
        ping.type = HelperMessageType::ping;
        QTcpSocket extra;
        extra.connectToHost(QHostAddress::LocalHost, rig.receiver->port());
        QVERIFY(extra.waitForConnected(5000));
        extra.write(*HelperProtocol::encodeFrame(ping));
        QVERIFY(extra.waitForBytesWritten(5000));
        QCOMPARE(extra.bytesAvailable(), 0);
        for (QTcpSocket* s : slow)
            QCOMPARE(s->state(), QAbstractSocket::ConnectedState);
        delete slow.takeFirst();
        QByteArray buffer;
        std::optional<Message> reply;
        QTRY_VERIFY_WITH_TIMEOUT(([&] {
            buffer += extra.readAll();
            auto r = HelperProtocol::decodeFrame(buffer);
            if (r && r->has_value())
                reply = **r;
            return reply.has_value();
        }()), 10000);
        QCOMPARE(reply->type, QStringLiteral("pong"));
        qDeleteAll(slow);
        QCOMPARE(rig.reasonFor(ping), QStringLiteral("pong"));
    }

    void slowClientsAreCutOff()
    {
        MacHelperReceiver::Options options;
        options.connectionLifetime = 300ms;
        Rig rig(options);
        QVERIFY(rig.listen());
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, rig.receiver->port());
        QVERIFY(s.waitForConnected(5000));
        // One byte now and then keeps a naive reader waiting forever.
        for (int i = 0; i < 3 && s.state() == QAbstractSocket::ConnectedState; ++i) {
            s.write(QByteArray(1, '\0'));
            s.waitForBytesWritten(1000);
        }
        QTRY_COMPARE_WITH_TIMEOUT(s.state(), QAbstractSocket::UnconnectedState, 10000);
    }

    void restartsAfterListenerFailure()
    {
        QTcpServer blocker;
        QVERIFY(blocker.listen(QHostAddress::Any, 0));
        Rig rig;
        rig.settings.setValue(QString(AppSettingsKey::helperPort), int(blocker.serverPort()));
        rig.receiver->start();
        rig.receiver->setEnabled(true);
        QTRY_VERIFY_WITH_TIMEOUT(rig.log.contents().contains(QStringLiteral("OvraHelper: écouteur impossible — ")), 10000);
        QVERIFY(!rig.receiver->isRunning());
        const quint16 port = blocker.serverPort();
        blocker.close();
        QTRY_VERIFY_WITH_TIMEOUT(rig.receiver->isRunning(), 10000);
        QCOMPARE(rig.receiver->port(), port);
        rig.receiver->setEnabled(false);
        QVERIFY(!rig.receiver->isRunning());
        QVERIFY(rig.advertiser.withdrawals > 0);
        QCOMPARE(rig.settings.boolValue(QString(AppSettingsKey::helperEnabled), true), false);
    }

    void startPairingSwitchesTheReceiverOn()
    {
        Rig rig;
        rig.receiver->start();
        QVERIFY(!rig.receiver->isEnabled());
        rig.receiver->startPairing();
        QVERIFY(rig.receiver->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(rig.receiver->isRunning(), 10000);
        QCOMPARE(rig.receiver->pairingCode()->size(), 6);
    }
};

QTEST_GUILESS_MAIN(TestMacHelperReceiver)
#include "tst_machelperreceiver.moc"
