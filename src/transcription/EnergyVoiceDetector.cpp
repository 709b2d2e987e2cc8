#include "EnergyVoiceDetector.h"

#include <algorithm>
#include <cmath>
#include <deque>

namespace {

// Mean power of each 20 ms frame; a short tail joins the last whole frame.
std::vector<double> framePowers(std::span<const float> samples)
{
    const size_t frames = std::max<size_t>(1, samples.size() / EnergyVoiceDetector::kFrameSamples);
    std::vector<double> power(frames);
    for (size_t f = 0; f < frames; ++f) {
        const size_t from = f * EnergyVoiceDetector::kFrameSamples;
        const size_t to = f + 1 == frames ? samples.size() : from + EnergyVoiceDetector::kFrameSamples;
        double acc = 0;
        for (size_t i = from; i < to; ++i)
            acc += double(samples[i]) * samples[i];
        power[f] = to > from ? acc / double(to - from) : 0.0;
    }
    return power;
}

double toDb(double power)
{
    return 10.0 * std::log10(power + 1e-10);
}

// Minimum over a centred window, in one pass (monotonic deque).
std::vector<double> slidingMinimum(const std::vector<double>& v, int radius)
{
    const int n = int(v.size());
    std::vector<double> out(v.size());
    std::deque<int> window;
    int next = 0;
    for (int i = 0; i < n; ++i) {
        for (; next < n && next <= i + radius; ++next) {
            while (!window.empty() && v[size_t(window.back())] >= v[size_t(next)])
                window.pop_back();
            window.push_back(next);
        }
        while (window.front() < i - radius)
            window.pop_front();
        out[size_t(i)] = v[size_t(window.front())];
    }
    return out;
}

} // namespace

Expected<std::vector<SpeechSegment>, QString> EnergyVoiceDetector::segment(std::span<const float> samples)
{
    if (samples.empty())
        return std::vector<SpeechSegment>{};
    const std::vector<double> power = framePowers(samples);
    const int frames = int(power.size());
    std::vector<double> db(power.size());
    std::transform(power.begin(), power.end(), db.begin(), toDb);
    // The floor comes from 60 ms averages, so one dropout frame cannot pull it down.
    std::vector<double> smoothed(power.size());
    for (int f = 0; f < frames; ++f) {
        const int from = std::max(0, f - kFloorSmoothingFrames / 2);
        const int to = std::min(frames, from + kFloorSmoothingFrames);
        double acc = 0;
        for (int i = from; i < to; ++i)
            acc += power[size_t(i)];
        smoothed[size_t(f)] = toDb(acc / double(to - from));
    }
    const std::vector<double> floor = slidingMinimum(smoothed, kFloorWindowFrames);
    auto active = [&](int f) {
        return db[size_t(f)] > kMinimumDbfs && db[size_t(f)] > floor[size_t(f)] + kAboveFloorDb;
    };

    // Runs of active frames joined across gaps up to the hangover.
    std::vector<std::pair<int, int>> runs; // [first, last] active frame
    for (int f = 0; f < frames; ++f) {
        if (!active(f))
            continue;
        if (!runs.empty() && f - runs.back().second <= kHangoverFrames)
            runs.back().second = f;
        else
            runs.push_back({f, f});
    }

    std::vector<SpeechSegment> segments;
    const qint64 total = qint64(samples.size());
    for (const auto& [first, last] : runs) {
        if (last - first + 1 < kMinSpeechFrames)
            continue;
        const qint64 start = std::max<qint64>(0, qint64(first - kPreRollFrames) * kFrameSamples);
        const qint64 end = last + 1 == frames ? total
                                              : std::min<qint64>(total, qint64(last + 1 + kHangoverFrames) * kFrameSamples);
        if (!segments.empty() && start <= segments.back().end)
            segments.back().end = std::max(segments.back().end, end);
        else
            segments.push_back({start, end});
    }
    return segments;
}
