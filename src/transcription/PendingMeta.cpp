#include "PendingMeta.h"

#include "store/DateTime.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>

QByteArray PendingMeta::encode() const
{
    QJsonObject o{{QStringLiteral("id"), uuidText(id)},
                  {QStringLiteral("audioFile"), audioFile},
                  {QStringLiteral("modeName"), modeName},
                  {QStringLiteral("provider"), provider},
                  {QStringLiteral("model"), model},
                  {QStringLiteral("language"), language},
                  {QStringLiteral("enableAI"), enableAI},
                  {QStringLiteral("aiProvider"), aiProvider},
                  {QStringLiteral("aiModel"), aiModel},
                  {QStringLiteral("prompt"), prompt},
                  {QStringLiteral("duration"), duration},
                  {QStringLiteral("createdAt"), createdAt}};
    if (transcriptionID)
        o.insert(QStringLiteral("transcriptionID"), uuidText(*transcriptionID));
    return QJsonDocument(o).toJson(QJsonDocument::Indented);
}

std::optional<PendingMeta> PendingMeta::decode(const QByteArray& bytes)
{
    const QJsonDocument doc = QJsonDocument::fromJson(bytes);
    if (!doc.isObject())
        return std::nullopt;
    const QJsonObject o = doc.object();
    PendingMeta m;
    bool ok = true;
    auto text = [&](const char* key, QString& out) {
        const QJsonValue v = o.value(QLatin1String(key));
        ok = ok && v.isString();
        out = v.toString();
    };
    auto number = [&](const char* key, double& out) {
        const QJsonValue v = o.value(QLatin1String(key));
        ok = ok && v.isDouble();
        out = v.toDouble();
    };
    QString id;
    text("id", id);
    m.id = QUuid::fromString(id);
    text("audioFile", m.audioFile);
    text("modeName", m.modeName);
    text("provider", m.provider);
    text("model", m.model);
    text("language", m.language);
    text("aiProvider", m.aiProvider);
    text("aiModel", m.aiModel);
    text("prompt", m.prompt);
    number("duration", m.duration);
    number("createdAt", m.createdAt);
    const QJsonValue ai = o.value(QStringLiteral("enableAI"));
    ok = ok && ai.isBool();
    m.enableAI = ai.toBool();
    const QJsonValue record = o.value(QStringLiteral("transcriptionID"));
    if (record.isString()) {
        const QUuid r = QUuid::fromString(record.toString());
        ok = ok && !r.isNull();
        m.transcriptionID = r;
    } else {
        ok = ok && (record.isUndefined() || record.isNull());
    }
    // The file must be a plain name inside the queue folder: never a path elsewhere.
    ok = ok && !m.id.isNull() && !m.audioFile.isEmpty() && !m.audioFile.contains(QLatin1Char('/')) &&
         m.audioFile != QLatin1String(".") && m.audioFile != QLatin1String("..");
    if (!ok)
        return std::nullopt;
    return m;
}

QString PendingMeta::description() const
{
    return QStringLiteral("%1 (%2, %3 %4, %5 s, %6)")
        .arg(uuidText(id), modeName, provider, model, QString::number(duration, 'f', 1),
             QDateTime::fromMSecsSinceEpoch(qint64(createdAt * 1000), Qt::UTC).toString(Qt::ISODate));
}
