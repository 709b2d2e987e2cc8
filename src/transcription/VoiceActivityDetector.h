#pragma once
// Finds the stretches of speech in 16 kHz mono samples, for the silence trimmer.
#include "store/Expected.h"

#include <QString>
#include <span>
#include <vector>

struct SpeechSegment
{
    qint64 start = 0; // first sample
    qint64 end = 0;   // one past the last sample
    bool operator==(const SpeechSegment&) const = default;
};

class VoiceActivityDetector
{
public:
    virtual ~VoiceActivityDetector() = default;
    // Ordered, non-overlapping ranges; the error carries the detector's description.
    virtual Expected<std::vector<SpeechSegment>, QString> segment(std::span<const float> samples) = 0;
};
