#pragma once
// Leaves one APIUsageRecord per paid cloud call. Records nothing until start-up hands it the
// record store.
#include "store/Enums.h"

#include <QString>

class RecordStore;

class UsageTracker
{
public:
    void setModelContext(RecordStore* store) { m_store = store; }
    RecordStore* modelContext() const { return m_store; }

    // Nothing is recorded when both counts are 0 or less.
    void recordChat(AIProvider provider, const QString& model, int inputTokens, int outputTokens);
    // Nothing is recorded for 0 seconds or less.
    void recordTranscription(TranscriptionProvider provider, const QString& model, double audioSeconds);

private:
    RecordStore* m_store = nullptr;
};
