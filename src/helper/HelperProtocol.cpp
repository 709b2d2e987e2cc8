#include "HelperProtocol.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QtEndian>
#include <cmath>
#include <openssl/evp.h>
#include <openssl/rand.h>

namespace {

// Integers above 2^53 do not survive a JSON double; refuse them rather than round.
constexpr double kMaxExactInteger = 9007199254740992.0;

std::optional<qint64> integerValue(const QJsonValue& v)
{
    if (!v.isDouble())
        return std::nullopt;
    const double d = v.toDouble();
    if (!std::isfinite(d) || std::floor(d) != d || std::fabs(d) > kMaxExactInteger)
        return std::nullopt;
    return qint64(d);
}

std::optional<QByteArray> bytesValue(const QJsonValue& v)
{
    if (!v.isString())
        return std::nullopt;
    auto r = QByteArray::fromBase64Encoding(v.toString().toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!r)
        return std::nullopt;
    return *r;
}

QByteArray compact(const QJsonObject& o) { return QJsonDocument(o).toJson(QJsonDocument::Compact); }

std::optional<QJsonObject> parseObject(const QByteArray& json)
{
    QJsonParseError err{};
    const auto doc = QJsonDocument::fromJson(json, &err);
    if (err.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    return doc.object();
}

// Reads an optional key: absent and null give nothing; a value of the wrong type fails.
template <class T, class Read>
bool readOptional(const QJsonObject& o, const char* key, std::optional<T>& out, Read read)
{
    const QJsonValue v = o.value(QLatin1String(key));
    if (v.isUndefined() || v.isNull())
        return true;
    auto r = read(v);
    if (!r)
        return false;
    out = std::move(*r);
    return true;
}

std::optional<QString> stringOf(const QJsonValue& v)
{
    if (!v.isString())
        return std::nullopt;
    return v.toString();
}

std::optional<bool> boolOf(const QJsonValue& v)
{
    if (!v.isBool())
        return std::nullopt;
    return v.toBool();
}

} // namespace

Message Message::error(QLatin1String reason)
{
    Message m;
    m.type = HelperMessageType::error;
    m.reason = QString(reason);
    return m;
}

QByteArray Message::toJson() const
{
    QJsonObject o;
    o.insert(QLatin1String("type"), type);
    auto putString = [&](const char* key, const std::optional<QString>& v) {
        if (v)
            o.insert(QLatin1String(key), *v);
    };
    auto putBytes = [&](const char* key, const std::optional<QByteArray>& v) {
        if (v)
            o.insert(QLatin1String(key), QString::fromLatin1(v->toBase64()));
    };
    putString("deviceID", deviceID);
    putString("deviceName", deviceName);
    putString("deviceType", deviceType);
    putBytes("nonce", nonce);
    putBytes("payload", payload);
    putString("helperID", helperID);
    putString("helperName", helperName);
    if (paired)
        o.insert(QLatin1String("paired"), *paired);
    putString("reason", reason);
    return compact(o);
}

Expected<Message, HelperError> Message::fromJson(const QByteArray& json)
{
    const auto o = parseObject(json);
    if (!o)
        return unexpected(HelperError::badFrame);
    Message m;
    const QJsonValue type = o->value(QLatin1String("type"));
    if (!type.isString())
        return unexpected(HelperError::badFrame);
    m.type = type.toString();
    const bool ok = readOptional(*o, "deviceID", m.deviceID, stringOf)
                    && readOptional(*o, "deviceName", m.deviceName, stringOf)
                    && readOptional(*o, "deviceType", m.deviceType, stringOf)
                    && readOptional(*o, "nonce", m.nonce, bytesValue)
                    && readOptional(*o, "payload", m.payload, bytesValue)
                    && readOptional(*o, "helperID", m.helperID, stringOf)
                    && readOptional(*o, "helperName", m.helperName, stringOf)
                    && readOptional(*o, "paired", m.paired, boolOf)
                    && readOptional(*o, "reason", m.reason, stringOf);
    if (!ok)
        return unexpected(HelperError::badFrame);
    return m;
}

QByteArray PairPayload::toJson() const
{
    return compact({{QLatin1String("secret"), QString::fromLatin1(secret.toBase64())},
                    {QLatin1String("sentAt"), double(sentAt)}});
}

std::optional<PairPayload> PairPayload::fromJson(const QByteArray& json)
{
    const auto o = parseObject(json);
    if (!o)
        return std::nullopt;
    auto secret = bytesValue(o->value(QLatin1String("secret")));
    auto sentAt = integerValue(o->value(QLatin1String("sentAt")));
    if (!secret || !sentAt)
        return std::nullopt;
    return PairPayload{*secret, *sentAt};
}

QByteArray PushPayload::toJson() const
{
    return compact({{QLatin1String("text"), text},
                    {QLatin1String("sentAt"), double(sentAt)},
                    {QLatin1String("deviceName"), deviceName}});
}

std::optional<PushPayload> PushPayload::fromJson(const QByteArray& json)
{
    const auto o = parseObject(json);
    if (!o)
        return std::nullopt;
    auto text = stringOf(o->value(QLatin1String("text")));
    auto sentAt = integerValue(o->value(QLatin1String("sentAt")));
    auto name = stringOf(o->value(QLatin1String("deviceName")));
    if (!text || !sentAt || !name)
        return std::nullopt;
    return PushPayload{*text, *sentAt, *name};
}

QByteArray UnpairPayload::toJson() const { return compact({{QLatin1String("sentAt"), double(sentAt)}}); }

std::optional<UnpairPayload> UnpairPayload::fromJson(const QByteArray& json)
{
    const auto o = parseObject(json);
    if (!o)
        return std::nullopt;
    auto sentAt = integerValue(o->value(QLatin1String("sentAt")));
    if (!sentAt)
        return std::nullopt;
    return UnpairPayload{*sentAt};
}

namespace HelperProtocol {

Expected<QByteArray, HelperError> encodeFrame(const Message& message)
{
    const QByteArray json = message.toJson();
    if (json.size() > qsizetype(kMaxFrameLength))
        return unexpected(HelperError::frameTooLarge);
    QByteArray frame(4, Qt::Uninitialized);
    qToBigEndian<quint32>(quint32(json.size()), frame.data());
    frame.append(json);
    return frame;
}

Expected<std::optional<Message>, HelperError> decodeFrame(QByteArray& buffer)
{
    if (buffer.size() < 4)
        return std::optional<Message>{};
    const quint32 length = qFromBigEndian<quint32>(buffer.constData());
    if (length == 0 || length > kMaxFrameLength)
        return unexpected(HelperError::badFrame);
    if (buffer.size() - 4 < qsizetype(length))
        return std::optional<Message>{};
    auto message = Message::fromJson(QByteArray::fromRawData(buffer.constData() + 4, length));
    buffer.remove(0, 4 + qsizetype(length));
    if (!message)
        return unexpected(message.error());
    return std::optional<Message>(std::move(*message));
}

QByteArray deriveKey(const QString& code, const QString& deviceID, int iterations)
{
    const QByteArray password = code.toUtf8();
    const QByteArray salt = QByteArray(kKeySalt) + deviceID.toUtf8();
    QByteArray key(kKeyLength, Qt::Uninitialized);
    if (PKCS5_PBKDF2_HMAC(password.constData(), int(password.size()),
                          reinterpret_cast<const unsigned char*>(salt.constData()), int(salt.size()),
                          iterations, EVP_sha256(), kKeyLength, reinterpret_cast<unsigned char*>(key.data()))
        != 1)
        return {};
    return key;
}

namespace {

struct CipherContext
{
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    ~CipherContext() { EVP_CIPHER_CTX_free(ctx); }
};

// The secret a phone chooses may be a 128, 192 or 256-bit AES key.
const EVP_CIPHER* gcmFor(const QByteArray& key)
{
    switch (key.size()) {
    case 16: return EVP_aes_128_gcm();
    case 24: return EVP_aes_192_gcm();
    case 32: return EVP_aes_256_gcm();
    default: return nullptr;
    }
}

const unsigned char* bytes(const QByteArray& b) { return reinterpret_cast<const unsigned char*>(b.constData()); }
unsigned char* bytes(QByteArray& b) { return reinterpret_cast<unsigned char*>(b.data()); }

} // namespace

QByteArray seal(const QByteArray& plaintext, const QByteArray& key, const QByteArray& nonce,
                const QString& deviceID)
{
    const EVP_CIPHER* cipher = gcmFor(key);
    if (!cipher || nonce.size() != kNonceLength)
        return {};
    const QByteArray aad = deviceID.toUtf8();
    CipherContext c;
    QByteArray out(plaintext.size() + kTagLength, Qt::Uninitialized);
    int len = 0;
    int total = 0;
    if (!c.ctx || EVP_EncryptInit_ex(c.ctx, cipher, nullptr, nullptr, nullptr) != 1
        || EVP_CIPHER_CTX_ctrl(c.ctx, EVP_CTRL_GCM_SET_IVLEN, kNonceLength, nullptr) != 1
        || EVP_EncryptInit_ex(c.ctx, nullptr, nullptr, bytes(key), bytes(nonce)) != 1
        || EVP_EncryptUpdate(c.ctx, nullptr, &len, bytes(aad), int(aad.size())) != 1
        || EVP_EncryptUpdate(c.ctx, bytes(out), &len, bytes(plaintext), int(plaintext.size())) != 1)
        return {};
    total = len;
    if (EVP_EncryptFinal_ex(c.ctx, bytes(out) + total, &len) != 1)
        return {};
    total += len;
    if (EVP_CIPHER_CTX_ctrl(c.ctx, EVP_CTRL_GCM_GET_TAG, kTagLength, bytes(out) + total) != 1)
        return {};
    out.resize(total + kTagLength);
    return out;
}

Expected<QByteArray, HelperError> open(const QByteArray& payload, const QByteArray& key,
                                       const QByteArray& nonce, const QString& deviceID)
{
    const EVP_CIPHER* cipher = gcmFor(key);
    if (payload.size() < kTagLength || !cipher || nonce.size() != kNonceLength)
        return unexpected(HelperError::badPayload);
    const QByteArray aad = deviceID.toUtf8();
    const qsizetype cipherLength = payload.size() - kTagLength;
    QByteArray tag = payload.right(kTagLength);
    QByteArray out(cipherLength, Qt::Uninitialized);
    CipherContext c;
    int len = 0;
    if (!c.ctx || EVP_DecryptInit_ex(c.ctx, cipher, nullptr, nullptr, nullptr) != 1
        || EVP_CIPHER_CTX_ctrl(c.ctx, EVP_CTRL_GCM_SET_IVLEN, kNonceLength, nullptr) != 1
        || EVP_DecryptInit_ex(c.ctx, nullptr, nullptr, bytes(key), bytes(nonce)) != 1
        || EVP_DecryptUpdate(c.ctx, nullptr, &len, bytes(aad), int(aad.size())) != 1
        || EVP_DecryptUpdate(c.ctx, bytes(out), &len, bytes(payload), int(cipherLength)) != 1)
        return unexpected(HelperError::badPayload);
    int total = len;
    if (EVP_CIPHER_CTX_ctrl(c.ctx, EVP_CTRL_GCM_SET_TAG, kTagLength, bytes(tag)) != 1
        || EVP_DecryptFinal_ex(c.ctx, bytes(out) + total, &len) != 1)
        return unexpected(HelperError::badPayload);
    total += len;
    out.resize(total);
    return out;
}

QByteArray randomBytes(int count)
{
    QByteArray out(count, Qt::Uninitialized);
    if (count > 0 && RAND_bytes(bytes(out), count) != 1)
        return {};
    return out;
}

std::optional<int> pairingDigit(quint64 random)
{
    // random × 10 as a 128-bit product: the high word is the digit, and a low word below
    // 2^64 mod 10 = 6 marks one of the few values that would favour the small digits.
    const quint64 lo32 = random & 0xffffffffu;
    const quint64 hi32 = random >> 32;
    const quint64 loProduct = lo32 * 10;
    const quint64 hiProduct = hi32 * 10 + (loProduct >> 32);
    const quint64 low = (hiProduct << 32) | (loProduct & 0xffffffffu);
    const quint64 high = hiProduct >> 32;
    if (low < 6)
        return std::nullopt;
    return int(high);
}

std::optional<QString> generatePairingCode()
{
    QString code;
    while (code.size() < 6) {
        const QByteArray r = randomBytes(8);
        if (r.size() != 8)
            return std::nullopt;
        if (auto digit = pairingDigit(qFromLittleEndian<quint64>(r.constData())))
            code.append(QChar(u'0' + *digit));
    }
    return code;
}

bool isFresh(qint64 sentAt, const QDateTime& now)
{
    const qint64 nowSeconds = now.toSecsSinceEpoch();
    // sentAt is bounded by the JSON reader, but stay clear of overflow for any caller.
    if (sentAt > nowSeconds + kStaleSeconds || sentAt < nowSeconds - kStaleSeconds)
        return false;
    return std::llabs(nowSeconds - sentAt) < kStaleSeconds;
}

bool isValidSecret(const QByteArray& secret) { return gcmFor(secret) != nullptr; }

} // namespace HelperProtocol
