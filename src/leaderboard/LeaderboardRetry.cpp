#include "LeaderboardRetry.h"

#include <algorithm>
#include <cmath>

std::optional<std::chrono::milliseconds> LeaderboardRetry::delayAfter(const LeaderboardError& error, int attempt)
{
    if (!error.isRetryable() || attempt >= kMaxAttempts)
        return std::nullopt;
    double ms = double(kBaseDelay.count()) * std::pow(3.0, attempt - 1);
    if (const auto after = error.retryAfterSeconds(); after && *after > 0)
        ms = *after * 1000.0;
    ms = std::min(ms, double(kMaxDelay.count()));
    return std::chrono::milliseconds(qint64(std::llround(ms)));
}
