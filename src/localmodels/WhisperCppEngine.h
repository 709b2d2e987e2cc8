#pragma once
// The Whisper engine of whisper.cpp.
#include "WhisperEngine.h"

#include <mutex>

struct whisper_context;

class WhisperCppEngine : public WhisperEngine
{
public:
    ~WhisperCppEngine() override;
    static Expected<std::shared_ptr<WhisperEngine>, QString> load(const QString& modelFile, int threads);
    // The two-letter codes the engine can be told; anything else means detection.
    static bool knowsLanguage(const QString& code);
    // All cores but one, at least one.
    static int defaultThreads();

    Expected<QString, QString> transcribe(std::span<const float> samples, const QString& language) override;

private:
    WhisperCppEngine(whisper_context* context, int threads) : m_context(context), m_threads(threads) {}
    whisper_context* m_context;
    int m_threads;
    std::mutex m_busy;
};
