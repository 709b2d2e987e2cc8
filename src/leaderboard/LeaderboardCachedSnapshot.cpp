#include "LeaderboardCachedSnapshot.h"

#include "store/AppSettingsKeys.h"
#include "store/DateTime.h"
#include "store/Settings.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

QByteArray LeaderboardCachedSnapshot::encode() const
{
    QJsonArray list;
    for (const Entry& e : entries)
        list.append(QJsonObject{{QStringLiteral("id"), e.id},
                                {QStringLiteral("pseudo"), e.pseudo},
                                {QStringLiteral("words"), e.words}});
    QJsonObject o{{QStringLiteral("entries"), list}};
    if (myRecordName)
        o.insert(QStringLiteral("myRecordName"), *myRecordName);
    if (myRank)
        o.insert(QStringLiteral("myRank"), *myRank);
    o.insert(QStringLiteral("myRankIsCapped"), myRankIsCapped);
    o.insert(QStringLiteral("myWords"), myWords);
    o.insert(QStringLiteral("savedAt"), DateTime::toReferenceSeconds(savedAt));
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

std::optional<LeaderboardCachedSnapshot> LeaderboardCachedSnapshot::decode(const QByteArray& bytes)
{
    const QJsonDocument doc = QJsonDocument::fromJson(bytes);
    if (!doc.isObject())
        return std::nullopt;
    const QJsonObject o = doc.object();
    const QJsonValue list = o.value(QLatin1String("entries"));
    const QJsonValue capped = o.value(QLatin1String("myRankIsCapped"));
    const QJsonValue words = o.value(QLatin1String("myWords"));
    const QJsonValue saved = o.value(QLatin1String("savedAt"));
    if (!list.isArray() || !capped.isBool() || !words.isDouble() || !saved.isDouble())
        return std::nullopt;
    LeaderboardCachedSnapshot s;
    for (const QJsonValue& v : list.toArray()) {
        const QJsonObject e = v.toObject();
        if (!e.value(QLatin1String("id")).isString() || !e.value(QLatin1String("pseudo")).isString() ||
            !e.value(QLatin1String("words")).isDouble())
            return std::nullopt;
        s.entries.append({e.value(QLatin1String("id")).toString(), e.value(QLatin1String("pseudo")).toString(),
                          qint64(e.value(QLatin1String("words")).toDouble())});
    }
    const QJsonValue name = o.value(QLatin1String("myRecordName"));
    if (name.isString())
        s.myRecordName = name.toString();
    else if (!name.isUndefined() && !name.isNull())
        return std::nullopt;
    const QJsonValue rank = o.value(QLatin1String("myRank"));
    if (rank.isDouble())
        s.myRank = qint64(rank.toDouble());
    else if (!rank.isUndefined() && !rank.isNull())
        return std::nullopt;
    s.myRankIsCapped = capped.toBool();
    s.myWords = qint64(words.toDouble());
    s.savedAt = DateTime::fromReferenceSeconds(saved.toDouble());
    return s;
}

QList<LeaderboardEntry> LeaderboardCachedSnapshot::lines() const
{
    QList<LeaderboardEntry> out;
    for (const Entry& e : entries)
        out.append({e.id, e.pseudo, e.words, myRecordName && *myRecordName == e.id});
    return out;
}

std::optional<LeaderboardCachedSnapshot> LeaderboardCachedSnapshot::read(const Settings& settings)
{
    const QVariant v = settings.value(AppSettingsKey::leaderboardCachedSnapshot);
    if (v.typeId() != QMetaType::QByteArray)
        return std::nullopt;
    return decode(v.toByteArray());
}

void LeaderboardCachedSnapshot::write(Settings& settings) const
{
    settings.setValue(AppSettingsKey::leaderboardCachedSnapshot, encode());
    settings.sync();
}
