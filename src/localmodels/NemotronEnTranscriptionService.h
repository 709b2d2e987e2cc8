#pragma once
// Nemotron English, streamed in chunks of 560, 1120 or 2240 ms.
#include "NvidiaStreamingService.h"

class NemotronEnTranscriptionService : public NvidiaStreamingService
{
    Q_OBJECT
public:
    static constexpr const char* modelID = "nemotron-en-0.6b";
    NemotronEnTranscriptionService(NvidiaAsrEngine& engine, const Settings& settings, DebugLog& log, QString modelsFolder,
         std::chrono::milliseconds cancelGrace = std::chrono::milliseconds(20000), QObject* parent = nullptr)
        : NvidiaStreamingService(Kind::nemotronEnglish, QString::fromLatin1(modelID), QString(), engine, settings, log,
                                 std::move(modelsFolder), cancelGrace, parent)
    {
    }
};
