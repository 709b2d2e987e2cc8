#include "SoundSamples.h"

#include <cmath>

namespace {

struct Partial
{
    double startHz;
    double endHz;
    double amplitude;
};

// Partials with an exponential decay and a 3 ms attack so nothing clicks.
QVector<qint16> tone(double seconds, double decayPerSecond, std::initializer_list<Partial> partials)
{
    const int n = int(seconds * SoundSamples::kRate);
    QVector<qint16> out(n);
    QVector<double> phase(int(partials.size()), 0.0);
    for (int i = 0; i < n; ++i) {
        const double t = double(i) / SoundSamples::kRate;
        const double progress = double(i) / n;
        const double envelope = std::min(1.0, t / 0.003) * std::exp(-decayPerSecond * t) * (1.0 - progress);
        double v = 0;
        int k = 0;
        for (const Partial& p : partials) {
            const double hz = p.startHz + (p.endHz - p.startHz) * progress;
            phase[k] += 2 * M_PI * hz / SoundSamples::kRate;
            v += p.amplitude * std::sin(phase[k]);
            ++k;
        }
        out[i] = qint16(std::clamp(v * envelope, -1.0, 1.0) * 20000);
    }
    return out;
}

} // namespace

namespace SoundSamples {

QVector<qint16> samples(SystemSound sound)
{
    switch (sound) {
    case SystemSound::pop:
        return tone(0.08, 30, {{900, 300, 0.8}, {1800, 600, 0.2}});
    case SystemSound::glass: {
        QVector<qint16> first = tone(0.12, 12, {{1568, 1568, 0.6}, {3136, 3136, 0.2}});
        first += tone(0.45, 7, {{2093, 2093, 0.6}, {4186, 4186, 0.15}});
        return first;
    }
    case SystemSound::beep:
        return tone(0.15, 4, {{880, 880, 0.7}});
    }
    return {};
}

} // namespace SoundSamples
