#pragma once
// Where a dictation made without network waits; OfflineTranscriptionQueue implements it.
#include "store/Records.h"

#include <QString>

class OfflineQueue
{
public:
    virtual ~OfflineQueue() = default;
    // Takes over the recording file; prompt is the mode's resolved prompt text.
    virtual void enqueue(const QString& audioFile, const TranscriptionMode& mode, const QString& prompt,
                         double duration) = 0;
};
