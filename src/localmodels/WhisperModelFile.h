#pragma once
// Checks a Whisper ggml model file before the engine sees it: the engine trusts every size it
// reads, so a truncated, corrupted or foreign file must be refused here, with a message.
#include "store/Expected.h"

#include <QString>

namespace WhisperModelFile {

// Walks the header, the vocabulary and every tensor record up to the end of the file.
Expected<void, QString> check(const QString& path);

} // namespace WhisperModelFile
