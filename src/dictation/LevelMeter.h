#pragma once
// The input level curve shared by the recorder and the live recogniser: decibels floored at
// -50 dB, mapped to 0..1 as (10^(dB/20))^0.6.
#include <algorithm>
#include <cmath>
#include <span>

namespace LevelMeter {

constexpr double kFloorDb = -50.0;

inline float levelForDb(double db)
{
    const double clamped = std::max(db, kFloorDb);
    return float(std::pow(std::pow(10.0, clamped / 20.0), 0.6));
}

// Average power of the samples in dB (very quiet or empty input lands far below the floor).
inline double averagePowerDb(std::span<const float> samples)
{
    double acc = 0;
    for (float x : samples)
        acc += double(x) * x;
    const double meanSquare = samples.empty() ? 0.0 : acc / double(samples.size());
    return 10.0 * std::log10(std::max(meanSquare, 1e-14));
}

} // namespace LevelMeter
