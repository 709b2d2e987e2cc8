#pragma once
// Reading and converting audio files with FFmpeg; blocking.
#include "audio/AudioFile.h"

namespace FfmpegAudioFile {
Expected<std::vector<float>, AudioError> decodeMono16k(const QString& path);
Expected<double, AudioError> duration(const QString& path);
Expected<void, AudioError> transcode(const QString& input, const QString& output, AudioFormat format, int sampleRate,
                                     int bitRate);
Expected<void, AudioError> copyAacRanges(const QString& input, const QString& output,
                                         const std::vector<AudioFile::SampleRange>& ranges);
} // namespace FfmpegAudioFile
