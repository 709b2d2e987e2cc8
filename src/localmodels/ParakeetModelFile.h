#pragma once
// Checks a Parakeet TDT ggml model file before whisper.cpp's Parakeet library reads it (the
// library trusts every size in the file): header, filters, window, durations, vocabulary and
// every tensor record up to the end of the file.
#include "store/Expected.h"

#include <QString>

namespace ParakeetModelFile {

Expected<void, QString> check(const QString& path);

} // namespace ParakeetModelFile
