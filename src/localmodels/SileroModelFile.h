#pragma once
// Checks a Silero voice-activity ggml file before whisper.cpp reads it: its loader trusts every
// length and count in the file and its graph assumes Silero's fixed layer sizes, so a truncated,
// corrupted or foreign file is refused here, with a message.
#include "store/Expected.h"

#include <QString>

namespace SileroModelFile {

// Layer sizes whisper.cpp's Silero graph is built for.
constexpr int kWindow = 512;
constexpr int kContext = 64;
constexpr int kEncoderLayers = 4;
constexpr int kEncoderIn[kEncoderLayers] = {129, 128, 64, 64};
constexpr int kEncoderOut[kEncoderLayers] = {128, 64, 64, 128};
constexpr int kKernel = 3;
constexpr int kHidden = 128;

// Walks the header and every tensor record up to the end of the file.
Expected<void, QString> check(const QString& path);

} // namespace SileroModelFile
