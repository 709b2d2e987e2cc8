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

class FakeTranscriber : public Transcriber
{
public:
    std::deque<Expected<QString, TranscriptionError>> results;
    QList<TranscriptionJob> jobs;
    std::optional<double> cost;

    QCoro::Task<Expected<QString, TranscriptionError>> transcribe(TranscriptionJob job) override
    {
        jobs << job;
        Expected<QString, TranscriptionError> r = QStringLiteral("texte brut");
        if (!results.empty()) {
            r = results.front();
            results.pop_front();
        }
        m_last = r ? cost : std::nullopt;
        co_return r;
    }
    std::optional<double> lastCostUSD() const override { return m_last; }

private:
    std::optional<double> m_last;
};

struct ChatCall
{
    QList<ChatMessage> messages;
    QString model;
    std::optional<QString> system;
    int maxTokens = 0;
    AIProvider provider = AIProvider::claude;
};

class FakeChatClient : public ChatClient
{
public:
    std::deque<Expected<QString, APIError>> results;
    QList<ChatCall> calls;
    std::optional<double> cost = 0.0021;

    QCoro::Task<Expected<QString, APIError>> send(QList<ChatMessage> messages, QString model,
                                                  std::optional<QString> system, int maxTokens,
                                                  AIProvider provider) override
    {
        calls << ChatCall{messages, model, system, maxTokens, provider};
        Expected<QString, APIError> r = QStringLiteral("Texte réécrit.\n<qm-meta>{\"fixes\": 3}</qm-meta>");
        if (!results.empty()) {
            r = results.front();
            results.pop_front();
        }
        m_last = r ? cost : std::nullopt;
        co_return r;
    }
    std::optional<double> lastCostUSD() const override { return m_last; }

private:
    std::optional<double> m_last;
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
    void enqueue(const QString& audioFile, const TranscriptionMode& mode, const QString& prompt,
                 double duration) override
    {
        queued << QueuedDictation{audioFile, mode, prompt, duration};
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
