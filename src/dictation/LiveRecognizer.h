#pragma once
// The live recogniser (text while speaking) as the dictation controller drives it.
#include "AudioRecorder.h"

class LiveRecognizer
{
public:
    virtual ~LiveRecognizer() = default;
    // error: the message shown to the user.
    virtual QCoro::Task<Expected<void, QString>> start(QString language) = 0;
    virtual QCoro::Task<> stop() = 0;
    virtual void cancel() = 0;
    virtual bool isRunning() const = 0;
    virtual double elapsed() const = 0;
    // The recognised text once stopped.
    virtual QString finalText() const = 0;
    virtual DictationLevelStats levelStats() const = 0;
};
