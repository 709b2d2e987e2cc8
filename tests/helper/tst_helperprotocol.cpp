#include "helper/HelperProtocol.h"

#include <QRegularExpression>
#include <QTest>
#include <QtEndian>

using namespace HelperProtocol;

namespace {

QByteArray prefix(quint32 length)
{
    QByteArray p(4, Qt::Uninitialized);
    qToBigEndian(length, p.data());
    return p;
}

// A valid "ping" frame whose JSON is padded with spaces to exactly jsonLength bytes.
QByteArray paddedPing(quint32 jsonLength)
{
    QByteArray json = R"({"type":"ping","deviceID":"A"})";
    json.append(QByteArray(qsizetype(jsonLength) - json.size(), ' '));
    return prefix(jsonLength) + json;
}

Message ping(const QString& deviceID)
{
    Message m;
    m.type = HelperMessageType::ping;
    m.deviceID = deviceID;
    return m;
}

} // namespace

class TestHelperProtocol : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void frameLengths_data()
    {
        QTest::addColumn<QByteArray>("buffer");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<bool>("complete");
        QTest::newRow("1 MiB accepted") << paddedPing(kMaxFrameLength) << true << true;
        QTest::newRow("1 MiB + 1 refused") << prefix(kMaxFrameLength + 1) + "{}" << false << false;
        QTest::newRow("zero refused") << prefix(0) << false << false;
        QTest::newRow("4 GiB refused") << prefix(0xffffffffu) << false << false;
        QTest::newRow("three bytes wait") << QByteArray("\0\0\0", 3) << true << false;
        QTest::newRow("prefix without body waits") << prefix(20) << true << false;
        QTest::newRow("body one byte short waits") << paddedPing(40).chopped(1) << true << false;
    }
    void frameLengths()
    {
        QFETCH(QByteArray, buffer);
        QFETCH(bool, valid);
        QFETCH(bool, complete);
        const QByteArray before = buffer;
        auto r = decodeFrame(buffer);
        QCOMPARE(r.hasValue(), valid);
        if (!valid) {
            QCOMPARE(r.error(), HelperError::badFrame);
            return;
        }
        QCOMPARE(r->has_value(), complete);
        if (complete) {
            QCOMPARE((*r)->type, QStringLiteral("ping"));
            QVERIFY(buffer.isEmpty());
        } else {
            QCOMPARE(buffer, before);
        }
    }

    void oneAndAHalfFrames()
    {
        const QByteArray first = *encodeFrame(ping(QStringLiteral("one")));
        const QByteArray second = *encodeFrame(ping(QStringLiteral("two")));
        const qsizetype half = second.size() / 2;
        QByteArray buffer = first + second.left(half);

        auto r = decodeFrame(buffer);
        QVERIFY(r && r->has_value());
        QCOMPARE((*r)->deviceID, QStringLiteral("one"));
        QCOMPARE(buffer, second.left(half));
        r = decodeFrame(buffer);
        QVERIFY(r && !r->has_value());
        QCOMPARE(buffer, second.left(half));

        buffer += second.mid(half);
        r = decodeFrame(buffer);
        QVERIFY(r && r->has_value());
        QCOMPARE((*r)->deviceID, QStringLiteral("two"));
        QVERIFY(buffer.isEmpty());
    }

    void encodeRefusesOversizedMessage()
    {
        Message m = ping(QString(int(kMaxFrameLength), u'x'));
        auto r = encodeFrame(m);
        QVERIFY(!r);
        QCOMPARE(r.error(), HelperError::frameTooLarge);
    }

    void messageRoundTrip()
    {
        Message m;
        m.type = HelperMessageType::pair;
        m.deviceID = QStringLiteral("5E0C-é");
        m.deviceName = QStringLiteral("iPhone de Zoé");
        m.deviceType = QStringLiteral("iphone");
        m.nonce = QByteArray(12, '\x01');
        m.payload = QByteArray("\x00\xff\x10", 3);
        m.helperID = QStringLiteral("H");
        m.helperName = QStringLiteral("Bureau");
        m.paired = false;
        m.reason = QStringLiteral("badCode");
        QByteArray buffer = *encodeFrame(m);
        QCOMPARE(qFromBigEndian<quint32>(buffer.constData()), quint32(buffer.size() - 4));
        auto r = decodeFrame(buffer);
        QVERIFY(r && r->has_value());
        QCOMPARE(**r, m);

        // Absent optionals are left out of the JSON.
        QCOMPARE(Message::error(HelperReason::stale).toJson(), QByteArray(R"({"reason":"stale","type":"error"})"));
    }

    void messagesThatAreNotMessages_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("valid");
        QTest::newRow("not JSON") << QByteArray("{type:ping") << false;
        QTest::newRow("array") << QByteArray(R"(["ping"])") << false;
        QTest::newRow("no type") << QByteArray(R"({"deviceID":"A"})") << false;
        QTest::newRow("type number") << QByteArray(R"({"type":3})") << false;
        QTest::newRow("deviceID number") << QByteArray(R"({"type":"ping","deviceID":7})") << false;
        QTest::newRow("nonce not Base64") << QByteArray(R"({"type":"push","nonce":"@@@@"})") << false;
        QTest::newRow("payload number") << QByteArray(R"({"type":"push","payload":12})") << false;
        QTest::newRow("paired string") << QByteArray(R"({"type":"pong","paired":"yes"})") << false;
        QTest::newRow("null is absent") << QByteArray(R"({"type":"ping","deviceID":null})") << true;
        QTest::newRow("unknown keys ignored") << QByteArray(R"({"type":"hello","x":[1]})") << true;
    }
    void messagesThatAreNotMessages()
    {
        QFETCH(QByteArray, json);
        QFETCH(bool, valid);
        QByteArray buffer = prefix(quint32(json.size())) + json;
        auto r = decodeFrame(buffer);
        QCOMPARE(r.hasValue(), valid);
        if (valid)
            QVERIFY(!(*r)->deviceID);
        else
            QCOMPARE(r.error(), HelperError::badFrame);
    }

    void sealMatchesKnownAnswer()
    {
        QByteArray key(32, 0), nonce(12, 0);
        for (int i = 0; i < 32; ++i)
            key[i] = char(i);
        for (int i = 0; i < 12; ++i)
            nonce[i] = char(i);
        const QByteArray expected =
            QByteArray::fromHex("056db871aa90b03b4ee1b7ffde9c0b8b2b7f73d1beebd7cbab849a8e23bb14");
        QCOMPARE(seal(QStringLiteral("Bonjour à tous").toUtf8(), key, nonce, QStringLiteral("PHONE-1")), expected);
        auto opened = open(expected, key, nonce, QStringLiteral("PHONE-1"));
        QVERIFY(opened);
        QCOMPARE(QString::fromUtf8(*opened), QStringLiteral("Bonjour à tous"));
    }

    void openRefuses_data()
    {
        QTest::addColumn<int>("payloadSize");
        QTest::addColumn<QString>("deviceID");
        QTest::addColumn<int>("nonceSize");
        QTest::addColumn<int>("flipByte");
        QTest::newRow("other deviceID as additional data") << -1 << QStringLiteral("PHONE-2") << 12 << -1;
        QTest::newRow("15 bytes") << 15 << QStringLiteral("PHONE-1") << 12 << -1;
        QTest::newRow("empty") << 0 << QStringLiteral("PHONE-1") << 12 << -1;
        QTest::newRow("tag only") << 16 << QStringLiteral("PHONE-1") << 12 << -1;
        QTest::newRow("nonce 8 bytes") << -1 << QStringLiteral("PHONE-1") << 8 << -1;
        QTest::newRow("nonce 16 bytes") << -1 << QStringLiteral("PHONE-1") << 16 << -1;
        QTest::newRow("ciphertext altered") << -1 << QStringLiteral("PHONE-1") << 12 << 0;
        QTest::newRow("tag altered") << -1 << QStringLiteral("PHONE-1") << 12 << 1000;
    }
    void openRefuses()
    {
        QFETCH(int, payloadSize);
        QFETCH(QString, deviceID);
        QFETCH(int, nonceSize);
        QFETCH(int, flipByte);
        const QByteArray key = randomBytes(32);
        const QByteArray nonce = randomBytes(12);
        QByteArray payload = seal("a dictated text", key, nonce, QStringLiteral("PHONE-1"));
        QCOMPARE(payload.size(), 15 + 16);
        if (payloadSize >= 0)
            payload = payload.left(payloadSize);
        if (flipByte >= 0) {
            const qsizetype i = qMin<qsizetype>(flipByte, payload.size() - 1);
            payload[i] = char(payload[i] ^ 0x40);
        }
        const QByteArray usedNonce = nonceSize == 12 ? nonce : QByteArray(nonceSize, '\x07');
        auto r = open(payload, key, usedNonce, deviceID);
        QVERIFY(!r);
        QCOMPARE(r.error(), HelperError::badPayload);
    }

    void deriveKeyMatchesKnownAnswer()
    {
        // PBKDF2-HMAC-SHA-256, 600,000 iterations, salt = label + UTF-8 deviceID.
        QCOMPARE(deriveKey(QStringLiteral("123456"), QStringLiteral("iPhone-ÉA1")).toHex(),
                 QByteArray("b89c6593ed6a2d1bae7300d374ae7a490a84d13c2daa537065228153867e9d14"));
    }

    void payloads_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("push");
        QTest::addColumn<bool>("unpair");
        QTest::addColumn<bool>("pair");
        QTest::newRow("push") << QByteArray(R"({"text":"Salut","sentAt":1765370000,"deviceName":"Zoé"})") << true << true << false;
        QTest::newRow("sentAt 1.5") << QByteArray(R"({"text":"a","sentAt":1.5,"deviceName":"Z"})") << false << false << false;
        QTest::newRow("sentAt string") << QByteArray(R"({"text":"a","sentAt":"1","deviceName":"Z"})") << false << false << false;
        QTest::newRow("sentAt 2^60") << QByteArray(R"({"text":"a","sentAt":1152921504606846976,"deviceName":"Z"})") << false << false << false;
        QTest::newRow("no text") << QByteArray(R"({"sentAt":1,"deviceName":"Z"})") << false << true << false;
        QTest::newRow("no deviceName") << QByteArray(R"({"text":"a","sentAt":1})") << false << true << false;
        QTest::newRow("pair") << QByteArray(R"({"secret":"AAECAw==","sentAt":-5})") << false << true << true;
        QTest::newRow("secret not Base64") << QByteArray(R"({"secret":"A!","sentAt":1})") << false << true << false;
        QTest::newRow("not an object") << QByteArray("[]") << false << false << false;
    }
    void payloads()
    {
        QFETCH(QByteArray, json);
        QFETCH(bool, push);
        QFETCH(bool, unpair);
        QFETCH(bool, pair);
        QCOMPARE(PushPayload::fromJson(json).has_value(), push);
        QCOMPARE(UnpairPayload::fromJson(json).has_value(), unpair);
        QCOMPARE(PairPayload::fromJson(json).has_value(), pair);
        if (pair)
            QCOMPARE(PairPayload::fromJson(json)->secret, QByteArray("\x00\x01\x02\x03", 4));
        const PushPayload p{QStringLiteral("é\n\"x\""), 1765370000, QStringLiteral("Zoé")};
        const auto back = PushPayload::fromJson(p.toJson());
        QVERIFY(back);
        QCOMPARE(back->text, p.text);
        QCOMPARE(back->sentAt, p.sentAt);
        QCOMPARE(back->deviceName, p.deviceName);
    }

    void freshness_data()
    {
        QTest::addColumn<qint64>("offset");
        QTest::addColumn<bool>("fresh");
        QTest::newRow("now") << qint64(0) << true;
        QTest::newRow("45 s old") << qint64(-45) << true;
        QTest::newRow("45 s ahead") << qint64(45) << true;
        QTest::newRow("46 s old") << qint64(-46) << false;
        QTest::newRow("46 s ahead") << qint64(46) << false;
        QTest::newRow("far past") << std::numeric_limits<qint64>::min() / 2 << false;
        QTest::newRow("far future") << std::numeric_limits<qint64>::max() / 2 << false;
    }
    void freshness()
    {
        QFETCH(qint64, offset);
        QFETCH(bool, fresh);
        const QDateTime now = QDateTime::fromSecsSinceEpoch(1765370000, Qt::UTC).addMSecs(999);
        QCOMPARE(isFresh(1765370000 + offset, now), fresh);
    }

    void pairingDigits_data()
    {
        QTest::addColumn<quint64>("random");
        QTest::addColumn<int>("digit");
        QTest::newRow("zero is drawn again") << quint64(0) << -1;
        QTest::newRow("low word 4 drawn again") << quint64(0x199999999999999Aull) << -1;
        QTest::newRow("just below the first boundary") << quint64(0x1999999999999999ull) << 0;
        QTest::newRow("smallest zero") << quint64(1) << 0;
        QTest::newRow("largest") << ~quint64(0) << 9;
        QTest::newRow("just below 5") << quint64(0x7fffffffffffffffull) << 4;
        QTest::newRow("exactly half drawn again") << quint64(0x8000000000000000ull) << -1;
        QTest::newRow("just above half") << quint64(0x8000000000000001ull) << 5;
    }
    void pairingDigits()
    {
        QFETCH(quint64, random);
        QFETCH(int, digit);
        const auto d = pairingDigit(random);
        QCOMPARE(d.value_or(-1), digit);
    }

    void pairingCodesAreSixDigits()
    {
        QSet<QString> seen;
        for (int i = 0; i < 50; ++i) {
            const auto code = generatePairingCode();
            QVERIFY(code);
            QVERIFY2(QRegularExpression(QStringLiteral("^[0-9]{6}$")).match(*code).hasMatch(), qPrintable(*code));
            seen.insert(*code);
        }
        QVERIFY(seen.size() > 40);
    }
};

QTEST_GUILESS_MAIN(TestHelperProtocol)
#include "tst_helperprotocol.moc"
