#pragma once
// A voice-activity detector without a model: 20 ms frames whose energy rises well above the
// local noise floor (the quietest frames around them) count as speech. Steady hum and silence
// never do; short clicks are dropped; speech keeps a little margin on both sides.
#include "transcription/VoiceActivityDetector.h"

class EnergyVoiceDetector : public VoiceActivityDetector
{
public:
    static constexpr int kSampleRate = 16000;
    static constexpr int kFrameSamples = 320;       // 20 ms
    static constexpr int kFloorWindowFrames = 50;   // floor = quietest 60 ms within ±1 s
    static constexpr int kFloorSmoothingFrames = 3;
    static constexpr double kAboveFloorDb = 12.0;   // speech stands this far above the floor
    static constexpr double kMinimumDbfs = -55.0;   // and above this absolute level
    static constexpr int kMinSpeechFrames = 5;      // 100 ms: shorter bursts are clicks
    static constexpr int kHangoverFrames = 10;      // 200 ms kept after speech, bridging pauses
    static constexpr int kPreRollFrames = 5;        // 100 ms kept before speech (soft onsets)

    Expected<std::vector<SpeechSegment>, QString> segment(std::span<const float> samples) override;
};
