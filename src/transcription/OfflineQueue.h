#pragma once
// Where a dictation made without network waits; OfflineTranscriptionQueue implements it.
#include "store/Records.h"

#include <QString>
#include <optional>

class OfflineQueue
{
public:
    virtual ~OfflineQueue() = default;
    // Takes over the recording file; prompt is the mode's resolved prompt text. Returns the
    // message for the user when the recording could not be kept (it then stays where it was).
    virtual std::optional<QString> enqueue(const QString& audioFile, const TranscriptionMode& mode,
                                           const QString& prompt, double duration) = 0;
};
