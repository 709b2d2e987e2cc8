#pragma once
// The one entry through which every feature talks to a language model: builds the provider's
// request (Anthropic, OpenAI, Groq, Gemini) with the user's key, sends it, parses the answer,
// records usage and cost. The on-device provider goes to the on-device model service.
#include "ChatClient.h"

#include <QObject>
#include <QUrl>

class APINetworkClient;
class OnDeviceLanguageModel;
class SecretsVault;
class UsageTracker;
struct HTTPResponse;

class ClaudeAPIManager : public QObject, public ChatClient
{
    Q_OBJECT
    Q_PROPERTY(bool isProcessing READ isProcessing NOTIFY isProcessingChanged)
public:
    struct Endpoints
    {
        QUrl anthropic;
        QUrl openAI;
        QUrl groqChat;
        QString geminiBase; // ends in /v1beta/models, no trailing slash

        // The public hosts, or the OVRA_*_BASE_URL overrides (scheme + host + port).
        static Endpoints fromEnvironment();
        // All four services on one host (tests).
        static Endpoints onHost(const QString& base);
    };

    ClaudeAPIManager(APINetworkClient& network, SecretsVault& vault, UsageTracker& usage,
                     OnDeviceLanguageModel& onDevice, Endpoints endpoints = Endpoints::fromEnvironment(),
                     QObject* parent = nullptr);

    bool isProcessing() const { return m_isProcessing; }
    std::optional<double> lastCostUSD() const override { return m_lastCostUSD; }
    const Endpoints& endpoints() const { return m_endpoints; }

    QCoro::Task<Expected<ChatAnswer, APIError>> ask(QList<ChatMessage> messages, QString model,
                                                    std::optional<QString> system, int maxTokens,
                                                    AIProvider provider) override;

    // The request bodies, exactly as sent.
    static QByteArray anthropicBody(const QList<ChatMessage>& messages, const QString& model,
                                    const std::optional<QString>& system, int maxTokens);
    static QByteArray openAIBody(const QList<ChatMessage>& messages, const QString& model,
                                 const std::optional<QString>& system, int maxTokens);
    static QByteArray geminiBody(const QList<ChatMessage>& messages, const QString& model,
                                 const std::optional<QString>& system, int maxTokens);

Q_SIGNALS:
    void isProcessingChanged(bool processing);

private:
    struct Answer
    {
        QString text;
        qint64 inputTokens = 0;
        qint64 outputTokens = 0;
    };
    QCoro::Task<Expected<Answer, APIError>> perform(AIProvider provider, QString key, QList<ChatMessage> messages,
                                                    QString model, std::optional<QString> system, int maxTokens);
    QCoro::Task<Expected<HTTPResponse, APIError>> post(QUrl url, QList<QPair<QByteArray, QByteArray>> headers,
                                                       QByteArray body);
    void setProcessing(bool processing);

    APINetworkClient& m_network;
    SecretsVault& m_vault;
    UsageTracker& m_usage;
    OnDeviceLanguageModel& m_onDevice;
    Endpoints m_endpoints;
    bool m_isProcessing = false;
    std::optional<double> m_lastCostUSD;
};
