#pragma once
// Records every call the shortcut handler and the per-application modes make on the
// controller. start() moves to recording; holdStarts keeps starts pending until release().
#include "dictation/DictationControl.h"

#include <QCoroSignal>
#include <QObject>
#include <QStringList>

class FakeDictationControl : public QObject, public DictationControl
{
    Q_OBJECT
public:
    RecordingState currentState = RecordingState::idle;
    QStringList calls;
    bool holdStarts = false;

    RecordingState state() const override { return currentState; }
    QCoro::Task<> start(DictationTrigger trigger) override
    {
        calls << (trigger == DictationTrigger::hotkey ? QStringLiteral("start:hotkey") : QStringLiteral("start:window"));
        if (holdStarts)
            co_await qCoro(this, &FakeDictationControl::released);
        calls << QStringLiteral("started");
        currentState = RecordingState::recording;
    }
    QCoro::Task<> stop() override
    {
        calls << QStringLiteral("stop");
        currentState = RecordingState::transcribing;
        co_return;
    }
    void cancel() override
    {
        calls << QStringLiteral("cancel");
        if (currentState == RecordingState::recording)
            currentState = RecordingState::idle;
    }
    QCoro::Task<> transformSelection(QString instruction) override
    {
        calls << QStringLiteral("transform:") + instruction;
        co_return;
    }
    void setActiveMode(const TranscriptionMode& mode) override { calls << QStringLiteral("mode:") + mode.name; }

    int count(const QString& call) const { return int(calls.count(call)); }
    void release() { Q_EMIT released(); }

Q_SIGNALS:
    void released();
};
