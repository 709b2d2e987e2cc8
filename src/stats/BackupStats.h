#pragma once
// The statistics figures about the user's dictation, computed from the local store.
#include "store/Records.h"

#include <QDateTime>
#include <QJsonObject>
#include <QStringList>
#include <optional>

class RecordStore;

struct BackupStats
{
    qint64 totalCount = 0;
    qint64 totalWords = 0;
    qint64 totalKeystrokesSaved = 0;
    double timeSavedSeconds = 0;
    qint64 thisMonthWords = 0;
    double averageWordsPerMinute = 0;
    qint64 totalAIFixes = 0;
    double thisMonthCostUSD = 0;
    double allTimeCostUSD = 0;

    bool operator==(const BackupStats&) const = default;

    // Keys in field order; decoding refuses a missing key or a wrong type and says which.
    QJsonObject toJson() const;
    static QStringList keyOrder();
    static std::optional<BackupStats> fromJson(const QJsonObject& o, QString* error = nullptr);
};

// Takes the records one at a time, so that the figures of a large store need no list in memory.
class StatsAccumulator
{
public:
    // The current month is now's calendar month in the local time zone.
    explicit StatsAccumulator(const QDateTime& now);
    // One dictation's figures, however they were read.
    struct Dictation
    {
        qint64 words = 0;
        qint64 characters = 0;
        double duration = 0;
        int aiFixes = 0;
        qint64 createdAtMs = 0;
    };
    void add(const Dictation& d);
    void add(const Transcription& t);
    void add(const APIUsageRecord& u);
    BackupStats result() const;

    static constexpr double kTypingWordsPerMinute = 38;

private:
    bool inThisMonth(qint64 ms) const;
    BackupStats m_stats;
    double m_spokenSeconds = 0;
    qint64 m_monthStartMs = 0;
    qint64 m_monthEndMs = 0;
};

BackupStats computeStats(const RecordStore& store, const QDateTime& now = DateTime::now());

// Characters as the user sees them (grapheme clusters).
qint64 visibleCharacterCount(const QString& text);
