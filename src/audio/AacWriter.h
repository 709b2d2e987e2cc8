#pragma once
// Writes mono float samples as they come into an AAC file in an M4A container, so that a
// recording is encoded while it runs and only the container index is left for the end. The
// same writer makes the WAV, FLAC and Ogg Vorbis files a user asks for by name. The encoding is
// the FFmpeg module's, loaded at the first open().
#include "audio/AudioFile.h"

#include <QString>
#include <memory>
#include <span>

class AudioEncoder;

class AacWriter
{
public:
    AacWriter();
    ~AacWriter(); // an unfinished file is closed as it is (not playable) and left on disk
    AacWriter(const AacWriter&) = delete;
    AacWriter& operator=(const AacWriter&) = delete;

    // bitRate is used by M4A only.
    Expected<void, AudioError> open(const QString& path, int sampleRate, int bitRate,
                                    AudioFormat format = AudioFormat::m4a);
    // Samples in [-1, 1] at the rate given to open().
    Expected<void, AudioError> write(std::span<const float> samples);
    // Flushes the encoder and writes the index; the file is complete and playable after it.
    Expected<void, AudioError> finish();

    bool isOpen() const;
    qint64 samplesWritten() const;
    QString path() const;

private:
    std::unique_ptr<AudioEncoder> m_encoder;
};
