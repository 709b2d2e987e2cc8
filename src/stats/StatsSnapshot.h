#pragma once
// The published statistics: the figures, the world rank and when they were computed, kept as
// one JSON document in the settings for the companion components.
#include "BackupStats.h"

#include <QByteArray>
#include <optional>

class RecordStore;
class Settings;

struct StatsSnapshot
{
    BackupStats stats;
    std::optional<qint64> worldRank;
    std::optional<bool> worldRankIsCapped;
    QDateTime generatedAt;

    // Dates as seconds since 2001-01-01 UTC, a JSON number.
    QByteArray encode() const;
    static std::optional<StatsSnapshot> decode(const QByteArray& bytes);
    // Everything but generatedAt.
    bool sameFigures(const StatsSnapshot& other) const;
};

// Missing or undecodable: none.
std::optional<StatsSnapshot> readSnapshot(const Settings& settings);
void writeSnapshot(Settings& settings, const StatsSnapshot& snapshot);
// Recomputes the figures, raises the words high-water mark, and stores the snapshot only when a
// figure changed. True when something was written.
bool refreshSnapshot(const RecordStore& store, Settings& settings, const QDateTime& now = DateTime::now());
