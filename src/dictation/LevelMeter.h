#pragma once
// The input level curve shared by the recorder and the live recogniser: decibels floored at
// -50 dB, mapped to 0..1 as (10^(dB/20))^0.6.
#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <limits>
#include <optional>
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

// The last 50 ms of input at 16 kHz: written by the capture thread, its average power read by
// the meter on the main thread without a lock, so neither ever waits for the other.
class Window
{
public:
    static constexpr size_t kSize = 16000 / 20;

    // Capture thread only.
    void add(std::span<const float> samples)
    {
        for (float x : samples) {
            m_ring[m_pos] = x;
            m_pos = (m_pos + 1) % kSize;
        }
        m_filled = std::min(kSize, m_filled + samples.size());
        if (m_filled > 0)
            m_db.store(averagePowerDb(std::span<const float>(m_ring.data(), m_filled)), std::memory_order_relaxed);
    }

    // Any thread; none before the first samples.
    std::optional<double> powerDb() const
    {
        const double db = m_db.load(std::memory_order_relaxed);
        return std::isnan(db) ? std::nullopt : std::optional<double>(db);
    }

private:
    std::array<float, kSize> m_ring{};
    size_t m_pos = 0;
    size_t m_filled = 0;
    std::atomic<double> m_db{std::numeric_limits<double>::quiet_NaN()};
};

} // namespace LevelMeter
