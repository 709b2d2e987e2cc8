#include "UsageTracker.h"

#include "network/Pricing.h"
#include "store/RecordStore.h"

void UsageTracker::recordChat(AIProvider provider, const QString& model, int inputTokens, int outputTokens)
{
    if (!m_store || (inputTokens <= 0 && outputTokens <= 0))
        return;
    APIUsageRecord r;
    r.providerRaw = rawValue(provider);
    r.model = model;
    r.kindRaw = QStringLiteral("ai");
    r.inputTokens = inputTokens;
    r.outputTokens = outputTokens;
    r.costUSD = chatCost(model, inputTokens, outputTokens);
    // A failed write only loses this statistic.
    (void)m_store->insert(r);
}

void UsageTracker::recordTranscription(TranscriptionProvider provider, const QString& model, double audioSeconds)
{
    if (!m_store || audioSeconds <= 0)
        return;
    APIUsageRecord r;
    r.providerRaw = rawValue(provider);
    r.model = model;
    r.kindRaw = QStringLiteral("transcription");
    r.audioSeconds = audioSeconds;
    r.costUSD = transcriptionCost(model, audioSeconds);
    (void)m_store->insert(r);
}
