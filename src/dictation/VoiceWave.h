#pragma once
// The recorder panel's voice wave: bar heights from the microphone level, redrawn 30 times a
// second. Silence still ripples gently between 3 and 5.5 px.
#include <QList>

class VoiceWave
{
public:
    static constexpr int kBarCount = 14;
    static constexpr double kBarWidth = 3;
    static constexpr double kBarSpacing = 4;
    static constexpr double kFrameHeight = 24;
    static constexpr int kFramesPerSecond = 30;
    // A level change is followed linearly over this time.
    static constexpr double kLevelRampSeconds = 0.05;

    // s = 0.5 + 0.5 sin(7t + 0.9i); height = 3 + 2.5 s + 16 level (0.4 + 0.6 s).
    static double barHeight(double seconds, int index, double level);
    static double opacity(double level) { return 0.55 + 0.45 * level; }

    // Each new target is reached linearly in kLevelRampSeconds, whatever the distance.
    void setTarget(double level);
    void advance(double elapsedSeconds);
    double level() const { return m_level; }
    QList<double> heights(double seconds) const;

private:
    double m_level = 0;
    double m_from = 0;
    double m_target = 0;
    double m_rampElapsed = kLevelRampSeconds;
};
