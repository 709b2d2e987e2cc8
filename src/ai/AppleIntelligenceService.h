#pragma once
// The on-device model service. On this desktop the machine's own language model is a local
// OpenAI-compatible server the user runs (Ollama, llama.cpp's server): no key, no cost.
#include "OnDeviceLanguageModel.h"

#include <QObject>
#include <QStringList>
#include <QUrl>
#include <chrono>
#include <functional>

class APINetworkClient;
class Settings;

class AppleIntelligenceService : public QObject, public OnDeviceLanguageModel
{
    Q_OBJECT
public:
    static constexpr const char* kDefaultURL = "http://127.0.0.1:11434";

    struct Config
    {
        QUrl base; // scheme + host + port
        QString model; // empty: not enabled
    };
    struct Timeouts
    {
        // Longest wait for a byte of an answer (a model can think for a while).
        std::chrono::milliseconds answer{60000};
        // Longest wait for the model list when checking availability.
        std::chrono::milliseconds probe{5000};
    };

    // The configuration is read at each call, so a change in the settings applies at once.
    AppleIntelligenceService(APINetworkClient& network, std::function<Config()> config, QObject* parent = nullptr);
    AppleIntelligenceService(APINetworkClient& network, std::function<Config()> config, Timeouts timeouts,
                             QObject* parent = nullptr);
    // Reads "ovra.mac.localModelURL" (default kDefaultURL) and "ovra.mac.localModel".
    static std::function<Config()> configFrom(const Settings& settings);

    static QString notEligibleMessage();
    static QString notEnabledMessage();
    static QString notReadyMessage();
    static QString unavailableMessage();
    static QString tooLongMessage();

    std::optional<QString> availabilityMessage() const override { return m_availability; }
    QCoro::Task<std::optional<QString>> checkAvailability() override;
    QCoro::Task<Expected<QString, APIError>> respond(QList<ChatMessage> messages, std::optional<QString> system,
                                                     int maxTokens) override;
    QCoro::Task<Expected<QJsonValue, APIError>> generate(std::optional<QString> instructions, QString prompt,
                                                         GenerationSchema schema, int maxTokens) override;
    // The models the server offers, for the settings' menu (empty when it does not answer).
    QCoro::Task<QStringList> availableModels();

    // One prompt text from a conversation: "User: " / "Assistant: " turns joined by blank lines.
    static QString promptText(const QList<ChatMessage>& messages);
    // The chat request body, exactly as sent; with a schema it asks for structured output.
    static QByteArray requestBody(const QString& model, const std::optional<QString>& system, const QString& prompt,
                                  int maxTokens, const std::optional<GenerationSchema>& schema = std::nullopt);
    // True when value has the schema's shape (the subset the declared schemas use).
    static bool matches(const QJsonValue& value, const QJsonObject& schema);

Q_SIGNALS:
    void availabilityChanged();

private:
    struct Probe
    {
        std::optional<QString> message;
        QStringList models;
    };
    QCoro::Task<Probe> probe(Config config);
    QCoro::Task<Expected<QString, APIError>> complete(std::optional<QString> system, QString prompt, int maxTokens,
                                                      std::optional<GenerationSchema> schema);
    void setAvailability(std::optional<QString> message);

    APINetworkClient& m_network;
    std::function<Config()> m_config;
    Timeouts m_timeouts;
    std::optional<QString> m_availability;
};
