#pragma once
// Parakeet Unified (English only), behind the streaming NVIDIA engine.
#include "NvidiaStreamingService.h"

class UnifiedTranscriptionService : public NvidiaStreamingService
{
    Q_OBJECT
public:
    static constexpr const char* modelID = "parakeet-unified-0.6b";
    UnifiedTranscriptionService(NvidiaAsrEngine& engine, const Settings& settings, DebugLog& log, QString modelsFolder,
         std::chrono::milliseconds cancelGrace = std::chrono::milliseconds(20000), QObject* parent = nullptr)
        : NvidiaStreamingService(Kind::unified, QString::fromLatin1(modelID), QString(), engine, settings, log,
                                 std::move(modelsFolder), cancelGrace, parent)
    {
    }
};
