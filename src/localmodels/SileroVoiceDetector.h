#pragma once
// The Silero voice-activity detector of whisper.cpp: speech ranges of 16 kHz mono samples with
// the engine's default segmentation settings.
#include "transcription/VoiceActivityDetector.h"

#include <memory>

struct whisper_vad_context;

class SileroVoiceDetector : public VoiceActivityDetector
{
public:
    ~SileroVoiceDetector() override;
    // The file is checked before the engine reads it.
    static Expected<std::unique_ptr<VoiceActivityDetector>, QString> load(const QString& modelFile, int threads);

    Expected<std::vector<SpeechSegment>, QString> segment(std::span<const float> samples) override;

private:
    explicit SileroVoiceDetector(whisper_vad_context* context) : m_context(context) {}
    whisper_vad_context* m_context;
};
