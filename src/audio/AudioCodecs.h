#pragma once
// What the FFmpeg module does for the audio library. FFmpeg and the many codec libraries it
// pulls in (video encoders, subtitles, network protocols) would take about a fifth of an idle
// program's memory, so they are loaded only when a file is first read or written.
#include "audio/AudioFile.h"

#include <QString>
#include <memory>
#include <span>

class AudioEncoder
{
public:
    virtual ~AudioEncoder() = default;
    virtual Expected<void, AudioError> open(const QString& path, int sampleRate, int bitRate, AudioFormat format) = 0;
    virtual Expected<void, AudioError> write(std::span<const float> samples) = 0;
    virtual Expected<void, AudioError> finish() = 0;
    virtual bool isOpen() const = 0;
    virtual qint64 samplesWritten() const = 0;
    virtual QString path() const = 0;
};

class AudioCodecs
{
public:
    virtual ~AudioCodecs() = default;
    virtual Expected<std::vector<float>, AudioError> decodeMono16k(const QString& path) = 0;
    virtual Expected<double, AudioError> duration(const QString& path) = 0;
    virtual Expected<void, AudioError> transcode(const QString& input, const QString& output, AudioFormat format,
                                                 int sampleRate, int bitRate) = 0;
    virtual Expected<void, AudioError> copyAacRanges(const QString& input, const QString& output,
                                                     const std::vector<AudioFile::SampleRange>& ranges) = 0;
    virtual std::unique_ptr<AudioEncoder> encoder() = 0;

    // The module, loaded at the first call from any thread; an error when it cannot be.
    static Expected<AudioCodecs*, AudioError> load();
};

// The module's one exported symbol.
#define OVRA_AUDIO_CODECS_ENTRY "ovra_audio_codecs"
using AudioCodecsEntry = AudioCodecs* (*)();
