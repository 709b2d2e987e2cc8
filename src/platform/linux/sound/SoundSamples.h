#pragma once
// The program's own short sounds, made from a few tones: a soft "Pop" when recording starts,
// a bright two-note "Glass" when the text is delivered, and a plain beep.
#include "platform/SoundPlayer.h"

#include <QVector>

namespace SoundSamples {
constexpr int kRate = 44100;
// Mono signed 16-bit samples at kRate.
QVector<qint16> samples(SystemSound sound);
} // namespace SoundSamples
