#pragma once
// The Parakeet TDT engine of whisper.cpp's Parakeet library. Blocking calls, one
// transcription at a time.
#include "store/Expected.h"

#include <QString>
#include <memory>
#include <mutex>
#include <span>

struct parakeet_context;

class ParakeetCppEngine
{
public:
    ~ParakeetCppEngine();
    // The file must have passed ParakeetModelFile::check.
    static Expected<std::shared_ptr<ParakeetCppEngine>, QString> load(const QString& modelFile, int threads);
    Expected<QString, QString> transcribe(std::span<const float> samples);

private:
    ParakeetCppEngine(parakeet_context* context, int threads) : m_context(context), m_threads(threads) {}
    parakeet_context* m_context;
    int m_threads;
    std::mutex m_busy;
};
