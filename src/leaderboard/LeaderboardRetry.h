#pragma once
// The retry rule of a leaderboard database operation: at most three attempts; a retryable error
// waits the server's Retry-After when positive, otherwise 0.8 s × 3^(attempt − 1), never more
// than 5 s; anything else ends the operation.
#include "LeaderboardError.h"

#include <chrono>
#include <optional>

namespace LeaderboardRetry {
inline constexpr int kMaxAttempts = 3;
inline constexpr std::chrono::milliseconds kBaseDelay{800};
inline constexpr std::chrono::milliseconds kMaxDelay{5000};

// The wait before the next attempt after `attempt` (1-based) failed with `error`; none when the
// failure is final.
std::optional<std::chrono::milliseconds> delayAfter(const LeaderboardError& error, int attempt);
} // namespace LeaderboardRetry
