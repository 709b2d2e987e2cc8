#pragma once
// The desktop's own speech recogniser: the languages it has installed, recognition of a whole
// buffer and streaming sessions. Audio is 16 kHz mono. Calls block: run them off the main thread.
#include "store/Expected.h"

#include <QString>
#include <QStringList>
#include <memory>
#include <span>

// One streaming recognition: fed while the user speaks, finished once.
class SpeechStream
{
public:
    virtual ~SpeechStream() = default;
    virtual void feed(std::span<const float> samples) = 0;
    // The best text so far.
    virtual QString partialText() = 0;
    // Ends the audio and returns the final text.
    virtual QString finish() = 0;
};

class SpeechEngine
{
public:
    virtual ~SpeechEngine() = default;
    // Installed languages as BCP-47 identifiers ("en-US").
    virtual QStringList supportedLocales() const = 0;
    // The error says why the recogniser for that language cannot run.
    virtual Expected<QString, QString> recognize(const QString& locale, std::span<const float> samples) = 0;
    virtual Expected<std::unique_ptr<SpeechStream>, QString> openStream(const QString& locale) = 0;
};
