#pragma once
// The system speech recogniser (provider "apple") as the transcription manager sees it;
// AppleSpeechManager implements it.
#include "store/Expected.h"

#include <QCoroTask>
#include <QString>

struct AppleSpeechError
{
    enum class Kind { localeNotSupported, authorizationDenied, recognizerUnavailable, noResult, platform };
    Kind kind = Kind::noResult;
    // localeNotSupported: the identifier asked for; platform: the platform's own message.
    QString detail;

    QString message() const
    {
        switch (kind) {
        case Kind::localeNotSupported:
            return QStringLiteral("Apple Speech does not support \u201C") + detail +
                   QStringLiteral("\u201D on this device.");
        case Kind::authorizationDenied:
            return QStringLiteral(
                "Speech recognition access was denied. Enable it in Settings \u2192 Privacy \u2192 Speech Recognition.");
        case Kind::recognizerUnavailable:
            return QStringLiteral("Apple Speech is temporarily unavailable. Try again in a moment.");
        case Kind::noResult:
            return QStringLiteral("Apple Speech returned no result.");
        case Kind::platform:
            return detail;
        }
        return detail;
    }
};

class SystemRecognizer
{
public:
    virtual ~SystemRecognizer() = default;
    // localeIdentifier is never "auto": the caller resolves it to the user's locale first.
    virtual QCoro::Task<Expected<QString, AppleSpeechError>> transcribe(QString file, QString localeIdentifier) = 0;
};
