#include "VoiceWave.h"

#include <algorithm>
#include <cmath>

double VoiceWave::barHeight(double seconds, int index, double level)
{
    level = std::clamp(level, 0.0, 1.0);
    const double s = 0.5 + 0.5 * std::sin(7 * seconds + 0.9 * index);
    return 3 + 2.5 * s + 16 * level * (0.4 + 0.6 * s);
}

void VoiceWave::setTarget(double level)
{
    // Levels outside 0…1 (or NaN from a broken meter) must not blow the bars out of the frame.
    const double target = std::isfinite(level) ? std::clamp(level, 0.0, 1.0) : 0.0;
    if (target == m_target)
        return;
    m_from = m_level;
    m_target = target;
    m_rampElapsed = 0;
}

void VoiceWave::advance(double elapsedSeconds)
{
    if (!(elapsedSeconds > 0) || m_rampElapsed >= kLevelRampSeconds)
        return;
    m_rampElapsed = std::min(kLevelRampSeconds, m_rampElapsed + elapsedSeconds);
    m_level = m_from + (m_target - m_from) * (m_rampElapsed / kLevelRampSeconds);
}

QList<double> VoiceWave::heights(double seconds) const
{
    QList<double> h;
    h.reserve(kBarCount);
    for (int i = 0; i < kBarCount; ++i)
        h << barHeight(seconds, i, m_level);
    return h;
}
