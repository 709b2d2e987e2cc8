#pragma once
// Reading any audio file FFmpeg understands as 16 kHz mono samples, its duration, and
// re-encoding it as AAC in M4A. Every function is blocking: run it off the main thread.
#include "store/Expected.h"

#include <QString>
#include <vector>

struct AudioError
{
    QString message;
};

namespace AudioFile {

constexpr int kDecodeRate = 16000;

// All samples of the first audio stream, mixed down to mono and resampled to 16 kHz.
Expected<std::vector<float>, AudioError> decodeMono16k(const QString& path);
// Length in seconds, from the container when it says, otherwise by decoding.
Expected<double, AudioError> duration(const QString& path);
// Streams the input block by block into a mono AAC/M4A file; the output is removed on failure.
Expected<void, AudioError> transcodeToAac(const QString& input, const QString& output, int sampleRate,
                                          int bitRate);

} // namespace AudioFile
