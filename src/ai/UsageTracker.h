#pragma once
// Leaves one APIUsageRecord per paid cloud call. Records nothing until start-up hands it the
// record store.
#include "network/UsageRecorder.h"
#include "store/Enums.h"

#include <QString>

class RecordStore;

class UsageTracker : public UsageRecorder
{
public:
    void setModelContext(RecordStore* store) { m_store = store; }
    RecordStore* modelContext() const { return m_store; }

    void recordChat(AIProvider provider, const QString& model, int inputTokens, int outputTokens) override;
    void recordTranscription(TranscriptionProvider provider, const QString& model, double audioSeconds) override;

private:
    RecordStore* m_store = nullptr;
};
