#pragma once
// The user's retention choices, enforced at start-up: old dictations lose their texts (their
// counts stay, so the statistics do not move), old notes go, prompts left in the trash go.
#include <QDateTime>
#include <QString>
#include <functional>

class DebugLog;
class RecordStore;
class Settings;
class StatsRefresher;

class TranscriptionRetention
{
public:
    static constexpr qint64 kPromptTrashSeconds = 2'592'000;

    struct Dependencies
    {
        RecordStore& store;
        Settings& settings;
        DebugLog& log;
        StatsRefresher* stats = nullptr;
        // Where kept recordings live; a record names its file relative to it.
        QString recordingsFolder;
        std::function<QDateTime()> clock = {};
    };

    explicit TranscriptionRetention(Dependencies deps) : m_deps(std::move(deps)) {}

    // Each returns how many records it purged or deleted.
    int purgeExpired();
    int purgeNotes();
    int purgePromptTrash();
    // The three, in that order.
    void runAll();

private:
    QDateTime now() const;
    // Days from a shared setting; nothing when absent or below 1 (kept forever).
    std::optional<qint64> days(const QString& key) const;
    Dependencies m_deps;
};
