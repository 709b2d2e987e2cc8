#pragma once
// Where a paid cloud call reports what it used, so that the callers need not know the store.
#include "store/Enums.h"

#include <QString>

class UsageRecorder
{
public:
    virtual ~UsageRecorder() = default;
    // Nothing is recorded when both counts are 0 or less.
    virtual void recordChat(AIProvider provider, const QString& model, int inputTokens, int outputTokens) = 0;
    // Nothing is recorded for 0 seconds or less.
    virtual void recordTranscription(TranscriptionProvider provider, const QString& model, double audioSeconds) = 0;
};
