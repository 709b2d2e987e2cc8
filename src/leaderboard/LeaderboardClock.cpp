#include "LeaderboardClock.h"

#include "store/DateTime.h"

#include <QCoroTimer>

QDateTime SystemLeaderboardClock::now() const
{
    return DateTime::now();
}

QCoro::Task<> SystemLeaderboardClock::sleep(std::chrono::milliseconds delay)
{
    co_await QCoro::sleepFor(delay);
}
