#pragma once
// Wall-clock time and waiting, for the leaderboard: injected so that retry delays and record
// dates can be checked without real waits.
#include <QCoroTask>
#include <QDateTime>
#include <chrono>

class LeaderboardClock
{
public:
    virtual ~LeaderboardClock() = default;
    virtual QDateTime now() const = 0;
    virtual QCoro::Task<> sleep(std::chrono::milliseconds delay) = 0;
};

class SystemLeaderboardClock : public LeaderboardClock
{
public:
    QDateTime now() const override;
    QCoro::Task<> sleep(std::chrono::milliseconds delay) override;
};
