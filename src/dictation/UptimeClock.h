#pragma once
// Seconds on the monotonic clock, for delays and shortcut timing; injectable for tests.
#include <chrono>
#include <functional>

using UptimeClock = std::function<double()>;

inline double systemUptime()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}
