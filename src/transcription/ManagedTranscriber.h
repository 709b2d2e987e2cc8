#pragma once
// The transcription manager behind the Transcriber interface of the dictation controller.
#include "Transcriber.h"
#include "TranscriptionManager.h"

class ManagedTranscriber : public Transcriber
{
public:
    explicit ManagedTranscriber(TranscriptionManager& manager) : m_manager(manager) {}

    QCoro::Task<Expected<QString, TranscriptionError>> transcribe(TranscriptionJob job) override
    {
        auto running = m_manager.transcribe(job.file, job.provider, job.model, job.language, job.vocabularyHint,
                                            job.trimSilence, job.nemotronChunkMs);
        co_return co_await running;
    }
    std::optional<double> lastCostUSD() const override { return m_manager.lastCostUSD(); }

private:
    TranscriptionManager& m_manager;
};
