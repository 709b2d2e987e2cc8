#pragma once
// One transcription of an audio file with a mode's provider, as the dictation controller asks for it;
// ManagedTranscriber puts the TranscriptionManager behind it.
#include "TranscriptionError.h"
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

class Transcriber
{
public:
    virtual ~Transcriber() = default;
    virtual QCoro::Task<Expected<QString, TranscriptionError>> transcribe(TranscriptionJob job) = 0;
    // Cost of the last transcription when it was a cloud call.
    virtual std::optional<double> lastCostUSD() const = 0;
};
