#pragma once
// One loaded Whisper model. Blocking calls: the service runs them off the main thread. A
// model is used by one transcription at a time (the engine serialises its callers).
#include "store/Expected.h"

#include <QString>
#include <functional>
#include <memory>
#include <span>

class WhisperEngine
{
public:
    virtual ~WhisperEngine() = default;
    // language: a code the engine knows, or empty for detection. The error carries the
    // engine's description.
    virtual Expected<QString, QString> transcribe(std::span<const float> samples, const QString& language) = 0;
};

// Loads the model file (already checked) with that many threads.
using WhisperEngineLoader =
    std::function<Expected<std::shared_ptr<WhisperEngine>, QString>(const QString& modelFile, int threads)>;
