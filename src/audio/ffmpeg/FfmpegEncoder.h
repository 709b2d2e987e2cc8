#pragma once
// The module's encoder: mono float samples into AAC/M4A as they come (or WAV, FLAC, Ogg Vorbis).
#include "audio/AudioCodecs.h"

class FfmpegEncoder final : public AudioEncoder
{
public:
    FfmpegEncoder();
    ~FfmpegEncoder() override;
    FfmpegEncoder(const FfmpegEncoder&) = delete;
    FfmpegEncoder& operator=(const FfmpegEncoder&) = delete;

    Expected<void, AudioError> open(const QString& path, int sampleRate, int bitRate, AudioFormat format) override;
    Expected<void, AudioError> write(std::span<const float> samples) override;
    Expected<void, AudioError> finish() override;
    bool isOpen() const override;
    qint64 samplesWritten() const override;
    QString path() const override;

private:
    struct State;
    std::unique_ptr<State> m_state;
};
