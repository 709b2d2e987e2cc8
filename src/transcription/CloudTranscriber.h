#pragma once
// The wire side of cloud speech-to-text: the multipart upload of OpenAI and Groq, the
// generateContent request of Google Gemini, and their replies turned into text or errors.
// The audio file is streamed into the request, never loaded whole.
#include "TranscriptionError.h"
#include "network/APINetworkClient.h"
#include "network/KeychainKey.h"
#include "network/ServiceHosts.h"
#include "store/Enums.h"

#include <QCoroTask>
#include <functional>
#include <optional>

class CloudTranscriber
{
public:
    // Reads a key; nothing when absent or empty. The secret store may keep a read waiting (a
    // locked keyring), so the program reads off the main thread.
    using AsyncKeyReader = std::function<QCoro::Task<std::optional<QString>>(KeychainKey)>;
    // Keys at hand without waiting (tests, benchmarks).
    using KeyReader = std::function<std::optional<QString>(KeychainKey)>;
    static constexpr std::chrono::milliseconds kRequestTimeout{300000};

    CloudTranscriber(APINetworkClient& network, AsyncKeyReader keys, ServiceHosts hosts,
                     std::chrono::milliseconds requestTimeout = kRequestTimeout);
    CloudTranscriber(APINetworkClient& network, KeyReader keys, ServiceHosts hosts,
                     std::chrono::milliseconds requestTimeout = kRequestTimeout);

    // provider: groq or openai.
    QCoro::Task<Expected<QString, TranscriptionError>> transcribeMultipart(TranscriptionProvider provider, QString file,
                                                                           QString model, QString language,
                                                                           std::optional<QString> prompt);
    QCoro::Task<Expected<QString, TranscriptionError>> transcribeGemini(QString file, QString model, QString language,
                                                                        std::optional<QString> vocabularyHint);

    // "fr-CA" → "fr"; none for "auto" or a prefix that is not two characters.
    static std::optional<QString> languageField(const QString& language);
    static QString geminiModel(const QString& model);
    static QString geminiPrompt(const QString& language, const std::optional<QString>& vocabularyHint);
    static QByteArray multipartHead(const QByteArray& boundary);
    static QByteArray multipartField(const QByteArray& boundary, const QByteArray& name, const QString& value);

private:
    APINetworkClient& m_network;
    AsyncKeyReader m_keys;
    ServiceHosts m_hosts;
    std::chrono::milliseconds m_timeout;
};
