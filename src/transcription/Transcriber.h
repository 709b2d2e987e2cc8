#pragma once
// One transcription of an audio file with a mode's provider; TranscriptionManager implements it.
#include "APIError.h"
#include "store/Enums.h"
#include "store/Expected.h"

#include <QCoroTask>
#include <QString>
#include <optional>

struct TranscriptionJob
{
    QString file;
    TranscriptionProvider provider = TranscriptionProvider::groq;
    QString model;
    QString language = QStringLiteral("auto");
    std::optional<QString> vocabularyHint;
    bool trimSilence = false;
    std::optional<int> nemotronChunkMs;
};

// The user-facing message, and the API error when the failure was one (offline handling looks
// at transport failures).
struct TranscriptionError
{
    QString message;
    std::optional<APIError> apiError;

    static TranscriptionError from(const APIError& e) { return {e.errorDescription(), e}; }
};

class Transcriber
{
public:
    virtual ~Transcriber() = default;
    virtual QCoro::Task<Expected<QString, TranscriptionError>> transcribe(TranscriptionJob job) = 0;
    // Cost of the last transcription when it was a cloud call.
    virtual std::optional<double> lastCostUSD() const = 0;
};
