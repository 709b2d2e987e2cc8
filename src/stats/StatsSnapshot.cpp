#include "StatsSnapshot.h"

#include "store/AppSettingsKeys.h"
#include "store/RecordStore.h"
#include "store/Settings.h"

#include <QJsonDocument>

QByteArray StatsSnapshot::encode() const
{
    QJsonObject o = stats.toJson();
    if (worldRank)
        o.insert(QStringLiteral("worldRank"), *worldRank);
    if (worldRankIsCapped)
        o.insert(QStringLiteral("worldRankIsCapped"), *worldRankIsCapped);
    o.insert(QStringLiteral("generatedAt"), DateTime::toReferenceSeconds(generatedAt));
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

std::optional<StatsSnapshot> StatsSnapshot::decode(const QByteArray& bytes)
{
    const QJsonDocument doc = QJsonDocument::fromJson(bytes);
    if (!doc.isObject())
        return std::nullopt;
    const QJsonObject o = doc.object();
    auto stats = BackupStats::fromJson(o);
    const QJsonValue generated = o.value(QStringLiteral("generatedAt"));
    if (!stats || !generated.isDouble())
        return std::nullopt;
    StatsSnapshot s;
    s.stats = *stats;
    s.generatedAt = DateTime::fromReferenceSeconds(generated.toDouble());
    const QJsonValue rank = o.value(QStringLiteral("worldRank"));
    if (rank.isDouble())
        s.worldRank = qint64(rank.toDouble());
    else if (!rank.isUndefined() && !rank.isNull())
        return std::nullopt;
    const QJsonValue capped = o.value(QStringLiteral("worldRankIsCapped"));
    if (capped.isBool())
        s.worldRankIsCapped = capped.toBool();
    else if (!capped.isUndefined() && !capped.isNull())
        return std::nullopt;
    return s;
}

bool StatsSnapshot::sameFigures(const StatsSnapshot& other) const
{
    return stats == other.stats && worldRank == other.worldRank && worldRankIsCapped == other.worldRankIsCapped;
}

std::optional<StatsSnapshot> readSnapshot(const Settings& settings)
{
    const QVariant v = settings.value(AppSettingsKey::widgetStatsSnapshot);
    if (v.typeId() != QMetaType::QByteArray)
        return std::nullopt;
    return StatsSnapshot::decode(v.toByteArray());
}

void writeSnapshot(Settings& settings, const StatsSnapshot& snapshot)
{
    settings.setValue(AppSettingsKey::widgetStatsSnapshot, snapshot.encode());
    settings.sync();
}

bool refreshSnapshot(const RecordStore& store, Settings& settings, const QDateTime& now)
{
    const BackupStats stats = computeStats(store, now);

    const QString bestKey = SharedDefaults::key(SharedDefaultsKey::dictatedWordsBest);
    const auto best = settings.numberValue(bestKey);
    if ((!best && stats.totalWords > 0) || (best && *best < double(stats.totalWords)))
        settings.setValue(bestKey, stats.totalWords);

    const std::optional<StatsSnapshot> stored = readSnapshot(settings);
    StatsSnapshot fresh;
    fresh.stats = stats;
    if (stored) {
        fresh.worldRank = stored->worldRank;
        fresh.worldRankIsCapped = stored->worldRankIsCapped;
    }
    fresh.generatedAt = now;
    if (stored && stored->sameFigures(fresh)) {
        settings.sync();
        return false;
    }
    // No widget centre on this desktop: storing the document is the whole publication.
    writeSnapshot(settings, fresh);
    return true;
}
