#pragma once
// The last good state of the leaderboard, kept in the settings so that the section has
// something to show while the first page loads or when the server cannot be reached.
#include "LeaderboardEntry.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <optional>

class Settings;

struct LeaderboardCachedSnapshot
{
    struct Entry
    {
        QString id;
        QString pseudo;
        qint64 words = 0;
        bool operator==(const Entry&) const = default;
    };
    QList<Entry> entries;
    std::optional<QString> myRecordName;
    std::optional<qint64> myRank;
    bool myRankIsCapped = false;
    qint64 myWords = 0;
    QDateTime savedAt;

    bool operator==(const LeaderboardCachedSnapshot&) const = default;

    // Dates as seconds since 2001-01-01 UTC, a JSON number; absent optionals left out.
    QByteArray encode() const;
    static std::optional<LeaderboardCachedSnapshot> decode(const QByteArray& bytes);

    // The entries as list lines, the user's own marked.
    QList<LeaderboardEntry> lines() const;

    static std::optional<LeaderboardCachedSnapshot> read(const Settings& settings);
    void write(Settings& settings) const;
};
