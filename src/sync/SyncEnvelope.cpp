#include "SyncEnvelope.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <algorithm>
#include <cmath>
#include <tuple>

namespace {

template <class T>
void sortById(QList<T>& list)
{
    std::sort(list.begin(), list.end(), [](const T& a, const T& b) {
        if constexpr (requires { a.record.id; })
            return a.record.id < b.record.id;
        else
            return a.id < b.id;
    });
}

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
            return std::tie(a.recordID, a.typeRaw) < std::tie(b.recordID, b.typeRaw);
        });
    return QString::fromLatin1(QCryptographicHash::hash(encode(p), QCryptographicHash::Sha256).toHex());
}

qint64 recordCount(const BackupPayload& p)
{
    return p.prompts.size() + p.modes.size() + p.notes.size() + p.dictionary.size() + p.transcriptions.size() +
           p.learning.size() + p.usage.size() + (p.tombstones ? p.tombstones->size() : 0) +
           (p.transformStats ? p.transformStats->size() : 0);
}
