#pragma once
// What the shortcut handler and the per-application modes ask of the dictation controller.
// The controller implements it; tests use a recording fake.
#include "store/Enums.h"
#include "store/Records.h"

#include <QCoroTask>
#include <QString>

// Who started a dictation: the main window (text goes to the clipboard) or a global shortcut
// (text is pasted at the cursor). The numeric order is part of the contract.
enum class DictationTrigger { window = 0, hotkey = 1 };

class DictationControl
{
public:
    virtual ~DictationControl() = default;
    virtual RecordingState state() const = 0;
    virtual QCoro::Task<> start(DictationTrigger trigger) = 0;
    // Stops the recording and runs the pipeline.
    virtual QCoro::Task<> stop() = 0;
    // Abandons the recording without transcribing it.
    virtual void cancel() = 0;
    virtual QCoro::Task<> transformSelection(QString instruction) = 0;
    virtual void setActiveMode(const TranscriptionMode& mode) = 0;
};
