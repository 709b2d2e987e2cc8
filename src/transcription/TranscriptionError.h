#pragma once
// Why a transcription failed: a network or service error (APIError), an unreadable file,
// silence, or a failure of the system recogniser or of an on-device model. Carries the message
// shown to the user.
#include "network/APIError.h"

#include <QString>

struct TranscriptionError
{
    enum class Kind { api, file, noSpeech, appleSpeech, localModel, cancelled };
    Kind kind = Kind::api;
    APIError api; // kind api
    QString message; // the other kinds

    static TranscriptionError fromAPI(APIError e) { return {Kind::api, std::move(e), {}}; }
    static TranscriptionError file(QString message) { return {Kind::file, {}, std::move(message)}; }
    static TranscriptionError noSpeechDetected()
    {
        return {Kind::noSpeech, {}, QStringLiteral("Aucune parole détectée — rien à transcrire.")};
    }

    QString description() const { return kind == Kind::api ? api.errorDescription() : message; }
};

inline bool isUnreachableError(const TranscriptionError& e)
{
    return e.kind == TranscriptionError::Kind::api && isUnreachableError(e.api);
}

inline bool isCancellationError(const TranscriptionError& e)
{
    return e.kind == TranscriptionError::Kind::cancelled ||
           (e.kind == TranscriptionError::Kind::api && isCancellationError(e.api));
}
