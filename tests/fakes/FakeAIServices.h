#pragma once
// Recording fakes of the transcription manager, the chat client, the offline queue and the
// follow-ups run after a dictation (categorisation, learning, statistics).
#include "ai/CategorizationTrigger.h"
#include "ai/ChatClient.h"
#include "ai/LearningTrigger.h"
#include "stats/StatsRefresher.h"
#include "transcription/OfflineQueue.h"
#include "transcription/Transcriber.h"

#include <deque>

// Answers queued by a test, then a default; the cost of the last successful answer.
template <class E>
class ScriptedAnswers
{
public:
    std::deque<Expected<QString, E>> results;
    std::optional<double> cost;

protected:
    Expected<QString, E> next(const QString& fallback)
    {
        Expected<QString, E> r = fallback;
        if (!results.empty()) {
            r = results.front();
            results.pop_front();
        }
        m_last = r ? cost : std::nullopt;
        return r;
    }
    std::optional<double> lastCost() const { return m_last; }

private:
    std::optional<double> m_last;
};

class FakeTranscriber : public Transcriber, public ScriptedAnswers<TranscriptionError>
{
public:
    QList<TranscriptionJob> jobs;

    QCoro::Task<Expected<QString, TranscriptionError>> transcribe(TranscriptionJob job) override
    {
        jobs << job;
        Expected<QString, TranscriptionError> r = next(QStringLiteral("texte brut"));
        co_return r;
    }
    std::optional<double> lastCostUSD() const override { return lastCost(); }
};

struct ChatCall
{
    QList<ChatMessage> messages;
    QString model;
    std::optional<QString> system;
    int maxTokens = 0;
    AIProvider provider = AIProvider::claude;
};

class FakeChatClient : public ChatClient, public ScriptedAnswers<APIError>
{
public:
    FakeChatClient() { cost = 0.0021; }
    QList<ChatCall> calls;

    // What lastCostUSD() reports when set: another call's cost, as when calls overlap.
    std::optional<double> otherCallsCost;

    QCoro::Task<Expected<ChatAnswer, APIError>> ask(QList<ChatMessage> messages, QString model,
                                                    std::optional<QString> system, int maxTokens,
                                                    AIProvider provider) override
    {
        calls << ChatCall{messages, model, system, maxTokens, provider};
        Expected<QString, APIError> r = next(QStringLiteral("Texte réécrit.\n<qm-meta>{\"fixes\": 3}</qm-meta>"));
        if (!r)
            co_return unexpected(r.error());
        co_return ChatAnswer{*r, lastCost()};
    }
    std::optional<double> lastCostUSD() const override { return otherCallsCost ? otherCallsCost : lastCost(); }
};

struct QueuedDictation
{
    QString file;
    TranscriptionMode mode;
    QString prompt;
    double duration = 0;
};

class FakeOfflineQueue : public OfflineQueue
{
public:
    QList<QueuedDictation> queued;
    std::optional<QString> enqueue(const QString& audioFile, const TranscriptionMode& mode, const QString& prompt,
                                   double duration) override
    {
        queued << QueuedDictation{audioFile, mode, prompt, duration};
        return std::nullopt;
    }
};

class FakeFollowUps : public CategorizationTrigger, public LearningTrigger, public StatsRefresher
{
public:
    int classifications = 0;
    int learnings = 0;
    int refreshes = 0;
    void maybeAutoClassify() override { ++classifications; }
    void dictationStored() override { ++learnings; }
    void refresh() override { ++refreshes; }
};
