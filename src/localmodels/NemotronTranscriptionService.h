#pragma once
// Nemotron multilingual, one instance per variant ("latin" or "multilingual"), streamed in
// chunks of 560, 1120 or 2240 ms.
#include "NvidiaStreamingService.h"

class NemotronTranscriptionService : public NvidiaStreamingService
{
    Q_OBJECT
public:
    enum class Variant { latin, multilingual };
    static QString modelID(Variant v)
    {
        return v == Variant::latin ? QStringLiteral("nemotron-latin-0.6b") : QStringLiteral("nemotron-multilingual-0.6b");
    }
    static QString rawName(Variant v) { return v == Variant::latin ? QStringLiteral("latin") : QStringLiteral("multilingual"); }

    NemotronTranscriptionService(Variant variant, NvidiaAsrEngine& engine, const Settings& settings, DebugLog& log,
                                 QString modelsFolder,
                                 std::chrono::milliseconds cancelGrace = std::chrono::milliseconds(20000),
                                 QObject* parent = nullptr)
        : NvidiaStreamingService(Kind::nemotron, modelID(variant), rawName(variant), engine, settings, log,
                                 std::move(modelsFolder), cancelGrace, parent),
          m_variant(variant)
    {
    }
    Variant variant() const { return m_variant; }

private:
    Variant m_variant;
};
