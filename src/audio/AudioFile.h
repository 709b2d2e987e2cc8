#pragma once
// Reading any audio file FFmpeg understands as 16 kHz mono samples, its duration, and
// re-encoding it as AAC in M4A (or WAV, FLAC, Ogg Vorbis). Every function is blocking: run it
// off the main thread.
#include "store/Expected.h"

#include <QString>
#include <optional>
#include <vector>

struct AudioError
{
    QString message;
};

// The files a recording can be written as; M4A (AAC) is the program's own.
enum class AudioFormat { m4a, wav, flac, ogg };

namespace AudioFile {

constexpr int kDecodeRate = 16000;

// From the file name's extension (case ignored); nothing for another one.
std::optional<AudioFormat> formatForFileName(const QString& path);

// All samples of the first audio stream, mixed down to mono and resampled to 16 kHz.
Expected<std::vector<float>, AudioError> decodeMono16k(const QString& path);
// Length in seconds, from the container when it says, otherwise by decoding.
Expected<double, AudioError> duration(const QString& path);
// Streams the input block by block into a mono AAC/M4A file; the output is removed on failure.
Expected<void, AudioError> transcodeToAac(const QString& input, const QString& output, int sampleRate,
                                          int bitRate);
// The same into any of the formats (bitRate is used by M4A only).
Expected<void, AudioError> transcode(const QString& input, const QString& output, AudioFormat format, int sampleRate,
                                     int bitRate);

// For a 16 kHz mono AAC input (our own recordings): writes an M4A holding only the encoded
// frames that overlap the given sample ranges (sorted, in 16 kHz samples as decodeMono16k
// counts them), without decoding or re-encoding. Fails for any other input; the output is
// removed on failure.
struct SampleRange
{
    qint64 start = 0;
    qint64 end = 0;
};
Expected<void, AudioError> copyAacRanges(const QString& input, const QString& output,
                                         const std::vector<SampleRange>& ranges);

} // namespace AudioFile
