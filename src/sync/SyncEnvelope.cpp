#include "SyncEnvelope.h"

#include <openssl/evp.h>
#include <QJsonArray>
#include <QJsonDocument>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <tuple>

namespace {

// The order of the ids' canonical text, which is also the store's order by id.
bool textOrder(const QUuid& a, const QUuid& b)
{
    return std::tie(a.data1, a.data2, a.data3) < std::tie(b.data1, b.data2, b.data3) ||
           (std::tie(a.data1, a.data2, a.data3) == std::tie(b.data1, b.data2, b.data3) &&
            std::memcmp(a.data4, b.data4, 8) < 0);
}

template <class T>
void sortById(QList<T>& list)
{
    auto less = [](const T& a, const T& b) {
        if constexpr (requires { a.record.id; })
            return textOrder(a.record.id, b.record.id);
        else
            return textOrder(a.id, b.id);
    };
    // Lists from the store come in this order already: checked without copying them.
    if (!std::is_sorted(std::as_const(list).begin(), std::as_const(list).end(), less))
        std::sort(list.begin(), list.end(), less);
}

// Hashes what is written to it: the digest without the document in memory.
// OpenSSL's SHA-256 uses the processor's SHA instructions: several times Qt's own speed.
class HashingDevice : public QIODevice
{
public:
    HashingDevice() : m_ctx(EVP_MD_CTX_new())
    {
        EVP_DigestInit_ex(m_ctx, EVP_sha256(), nullptr);
        open(QIODevice::WriteOnly);
    }
    ~HashingDevice() override { EVP_MD_CTX_free(m_ctx); }
    QByteArray result()
    {
        QByteArray out(EVP_MAX_MD_SIZE, Qt::Uninitialized);
        unsigned int length = 0;
        EVP_DigestFinal_ex(m_ctx, reinterpret_cast<unsigned char*>(out.data()), &length);
        out.truncate(int(length));
        return out;
    }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 length) override
    {
        EVP_DigestUpdate(m_ctx, data, size_t(length));
        return length;
    }

private:
    EVP_MD_CTX* m_ctx;
};

} // namespace

QByteArray encodeEnvelope(const SyncEnvelope& e)
{
    // The payload is written by its own encoder and wrapped: no second copy as a JSON tree.
    QByteArray out;
    const QByteArray data = encode(e.data);
    out.reserve(data.size() + 200);
    out += "{\"schema\":";
    out += QByteArray::number(e.schema);
    out += ",\"version\":";
    out += QByteArray::number(e.version);
    out += ",\"deviceID\":";
    out += QJsonDocument(QJsonArray{e.deviceID}).toJson(QJsonDocument::Compact).mid(1).chopped(1);
    out += ",\"updatedAt\":\"";
    out += DateTime::toIsoMillis(e.updatedAt).toLatin1();
    out += "\",\"data\":";
    out += data;
    out += "}\n";
    return out;
}

Expected<SyncEnvelope, EnvelopeError> decodeEnvelope(const QByteArray& bytes)
{
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return unexpected(EnvelopeError{QStringLiteral("JSON invalide (%1, position %2)")
                                            .arg(parseError.errorString())
                                            .arg(parseError.offset)});
    if (!doc.isObject())
        return unexpected(EnvelopeError{QStringLiteral("un objet JSON est attendu")});
    const QJsonObject o = doc.object();
    SyncEnvelope e;
    const QJsonValue schema = o.value(QStringLiteral("schema"));
    if (!schema.isDouble() || schema.toDouble() != std::floor(schema.toDouble()))
        return unexpected(EnvelopeError{QStringLiteral("clé « schema » manquante ou invalide")});
    if (schema.toDouble() > SyncEnvelope::kSchema)
        return unexpected(EnvelopeError{
            QStringLiteral("format %1 plus récent que ce programme").arg(schema.toDouble()), true});
    if (schema.toDouble() != SyncEnvelope::kSchema)
        return unexpected(EnvelopeError{QStringLiteral("format %1 inconnu").arg(schema.toDouble())});
    const QJsonValue version = o.value(QStringLiteral("version"));
    // Beyond 2^53 a double no longer counts one by one.
    if (!version.isDouble() || version.toDouble() < 0 || version.toDouble() > 9007199254740992.0 ||
        version.toDouble() != std::floor(version.toDouble()))
        return unexpected(EnvelopeError{QStringLiteral("clé « version » manquante ou invalide")});
    e.version = qint64(version.toDouble());
    const QJsonValue device = o.value(QStringLiteral("deviceID"));
    if (!device.isString())
        return unexpected(EnvelopeError{QStringLiteral("clé « deviceID » manquante ou invalide")});
    e.deviceID = device.toString().left(256);
    const auto at = o.value(QStringLiteral("updatedAt")).isString()
                        ? DateTime::fromIso(o.value(QStringLiteral("updatedAt")).toString())
                        : std::nullopt;
    if (!at)
        return unexpected(EnvelopeError{QStringLiteral("clé « updatedAt » manquante ou invalide")});
    e.updatedAt = *at;
    const QJsonValue data = o.value(QStringLiteral("data"));
    if (!data.isObject())
        return unexpected(EnvelopeError{QStringLiteral("clé « data » manquante ou invalide")});
    auto payload = decode(data.toObject());
    if (!payload)
        return unexpected(EnvelopeError{payload.error().message});
    e.data = std::move(payload.value());
    return e;
}

QString payloadDigest(const BackupPayload& payload)
{
    BackupPayload p = payload;
    p.exportedAt = QDateTime::fromMSecsSinceEpoch(DateTime::kReferenceEpochMSecs, Qt::UTC);
    p.stats.reset();
    // An absent list and an empty one carry the same records.
    if (!p.tombstones)
        p.tombstones.emplace();
    if (!p.transformStats)
        p.transformStats.emplace();
    if (p.widgetLayouts && p.widgetLayouts->isEmpty() && !p.widgetLayoutsUpdatedAt)
        p.widgetLayouts.reset();
    sortById(p.prompts);
    sortById(p.modes);
    sortById(p.notes);
    sortById(p.dictionary);
    sortById(p.transcriptions);
    sortById(p.learning);
    sortById(p.usage);
    sortById(*p.transformStats);
    std::sort(p.tombstones->begin(), p.tombstones->end(), [](const DeletionTombstone& a, const DeletionTombstone& b) {
            return textOrder(a.recordID, b.recordID) || (a.recordID == b.recordID && a.typeRaw < b.typeRaw);
        });
    HashingDevice hash;
    (void)encodeTo(p, hash);
    return QString::fromLatin1(hash.result().toHex());
}

qint64 recordCount(const BackupPayload& p)
{
    return p.prompts.size() + p.modes.size() + p.notes.size() + p.dictionary.size() + p.transcriptions.size() +
           p.learning.size() + p.usage.size() + (p.tombstones ? p.tombstones->size() : 0) +
           (p.transformStats ? p.transformStats->size() : 0);
}
