#include "CloudTranscriber.h"

#include "StreamedBody.h"
#include "network/ErrorEnvelope.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QUuid>

// Awaited tasks are named locals: GCC 12 mishandles temporaries inside a co_await expression.

CloudTranscriber::CloudTranscriber(APINetworkClient& network, AsyncKeyReader keys, ServiceHosts hosts,
                                   std::chrono::milliseconds requestTimeout)
    : m_network(network), m_keys(std::move(keys)), m_hosts(std::move(hosts)), m_timeout(requestTimeout)
{
}

CloudTranscriber::CloudTranscriber(APINetworkClient& network, KeyReader keys, ServiceHosts hosts,
                                   std::chrono::milliseconds requestTimeout)
    : CloudTranscriber(
          network,
          [keys = std::move(keys)](KeychainKey k) -> QCoro::Task<std::optional<QString>> { co_return keys(k); },
          std::move(hosts), requestTimeout)
{
}

std::optional<QString> CloudTranscriber::languageField(const QString& language)
{
    if (language == QLatin1String("auto"))
        return std::nullopt;
    const QString prefix = language.left(2).toLower();
    if (prefix.size() != 2)
        return std::nullopt;
    return prefix;
}

QString CloudTranscriber::geminiModel(const QString& model)
{
    return model.startsWith(QLatin1String("gemini")) ? model : QStringLiteral("gemini-2.5-flash");
}

QString CloudTranscriber::geminiPrompt(const QString& language, const std::optional<QString>& vocabularyHint)
{
    const QString name = language.startsWith(QLatin1String("fr")) ? QStringLiteral("French")
                                                                   : QStringLiteral("the spoken language");
    QString prompt = QStringLiteral("Transcribe this audio recording verbatim in ") + name +
                     QStringLiteral(". Output ONLY the transcription text — no preamble, no notes, no quotes.");
    if (vocabularyHint && !vocabularyHint->isEmpty())
        prompt += QStringLiteral("\nThe speaker may use these specific terms/names — spell them exactly like this when "
                                 "heard: ") +
                  *vocabularyHint;
    return prompt;
}

QByteArray CloudTranscriber::multipartHead(const QByteArray& boundary)
{
    return "--" + boundary + "\r\n" + "Content-Disposition: form-data; name=\"file\"; filename=\"audio.m4a\"\r\n" +
           "Content-Type: audio/mp4\r\n\r\n";
}

QByteArray CloudTranscriber::multipartField(const QByteArray& boundary, const QByteArray& name, const QString& value)
{
    return "--" + boundary + "\r\n" + "Content-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" +
           value.toUtf8() + "\r\n";
}

QCoro::Task<Expected<QString, TranscriptionError>>
CloudTranscriber::transcribeMultipart(TranscriptionProvider provider, QString file, QString model, QString language,
                                      std::optional<QString> prompt)
{
    const bool groq = provider == TranscriptionProvider::groq;
    auto reading = m_keys(groq ? KeychainKey::groqAPIKey : KeychainKey::openAIAPIKey);
    const std::optional<QString> key = co_await reading;
    if (!key)
        co_return unexpected(TranscriptionError::fromAPI(APIError::missingAPIKey(groq ? QStringLiteral("Groq")
                                                                                      : QStringLiteral("OpenAI"))));

    const QByteArray boundary = "QM-" + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper().toLatin1();
    StreamedBody body;
    body.appendBytes(multipartHead(boundary));
    if (auto added = body.appendFile(file); !added)
        co_return unexpected(TranscriptionError::file(added.error()));
    QByteArray tail = "\r\n" + multipartField(boundary, "model", model);
    if (const auto lang = languageField(language))
        tail += multipartField(boundary, "language", *lang);
    tail += multipartField(boundary, "temperature", QStringLiteral("0"));
    tail += multipartField(boundary, "response_format", QStringLiteral("json"));
    if (prompt && !prompt->isEmpty())
        tail += multipartField(boundary, "prompt", *prompt);
    tail += "--" + boundary + "--\r\n";
    body.appendBytes(tail);

    const QString host = groq ? m_hosts.groq + QStringLiteral("/openai/v1/audio/transcriptions")
                              : m_hosts.openAI + QStringLiteral("/v1/audio/transcriptions");
    QNetworkRequest request{QUrl(host)};
    request.setTransferTimeout(int(m_timeout.count()));
    request.setRawHeader("Authorization", "Bearer " + key->toUtf8());
    request.setRawHeader("Content-Type", "multipart/form-data; boundary=" + boundary);

    const QByteArray verb = "POST";
    auto sending = m_network.send(APINetworkClient::Session::transcription, request, verb, {QByteArray(), &body});
    const auto reply = co_await sending;
    if (!reply)
        co_return unexpected(TranscriptionError::fromAPI(reply.error()));
    if (!reply->isSuccess())
        co_return unexpected(
            TranscriptionError::fromAPI(APIError::serverError(reply->status, errorEnvelopeMessage(reply->body))));
    const QJsonValue text = QJsonDocument::fromJson(reply->body).object().value(QStringLiteral("text"));
    if (!text.isString())
        co_return unexpected(TranscriptionError::fromAPI(APIError::decodingFailed()));
    co_return text.toString();
}

QCoro::Task<Expected<QString, TranscriptionError>> CloudTranscriber::transcribeGemini(QString file, QString model,
                                                                                      QString language,
                                                                                      std::optional<QString> vocabularyHint)
{
    auto reading = m_keys(KeychainKey::geminiAPIKey);
    const std::optional<QString> key = co_await reading;
    if (!key)
        co_return unexpected(TranscriptionError::fromAPI(APIError::missingAPIKey(QStringLiteral("Google Gemini"))));

    const QUrl url(m_hosts.gemini + QStringLiteral("/v1beta/models/") + geminiModel(model) +
                   QStringLiteral(":generateContent"));
    if (!url.isValid())
        co_return unexpected(TranscriptionError::fromAPI(APIError::invalidResponse()));

    const QString mime = QFileInfo(file).suffix().toLower() == QLatin1String("wav") ? QStringLiteral("audio/wav")
                                                                                     : QStringLiteral("audio/mp4");
    // The JSON document with an empty "data" string, split there to stream the Base64 audio in.
    const QJsonObject inlineData{{QStringLiteral("mime_type"), mime}, {QStringLiteral("data"), QString()}};
    const QJsonArray parts{QJsonObject{{QStringLiteral("text"), geminiPrompt(language, vocabularyHint)}},
                           QJsonObject{{QStringLiteral("inline_data"), inlineData}}};
    const QJsonObject root{
        {QStringLiteral("contents"), QJsonArray{QJsonObject{{QStringLiteral("parts"), parts}}}}};
    const QByteArray json = QJsonDocument(root).toJson(QJsonDocument::Compact);
    const QByteArray marker = "\"data\":\"\"";
    const qsizetype at = json.lastIndexOf(marker);
    StreamedBody body;
    body.appendBytes(json.left(at + marker.size() - 1));
    if (auto added = body.appendFileBase64(file); !added)
        co_return unexpected(TranscriptionError::file(added.error()));
    body.appendBytes(json.mid(at + marker.size() - 1));

    QNetworkRequest request(url);
    request.setTransferTimeout(int(m_timeout.count()));
    request.setRawHeader("Content-Type", "application/json");
    request.setRawHeader("x-goog-api-key", key->toUtf8());

    const QByteArray verb = "POST";
    auto sending = m_network.send(APINetworkClient::Session::transcription, request, verb, {QByteArray(), &body});
    const auto reply = co_await sending;
    if (!reply)
        co_return unexpected(TranscriptionError::fromAPI(reply.error()));
    if (!reply->isSuccess())
        co_return unexpected(
            TranscriptionError::fromAPI(APIError::serverError(reply->status, errorEnvelopeMessage(reply->body))));
    const QJsonValue text = QJsonDocument::fromJson(reply->body)
                                .object()
                                .value(QStringLiteral("candidates"))
                                .toArray()
                                .at(0)
                                .toObject()
                                .value(QStringLiteral("content"))
                                .toObject()
                                .value(QStringLiteral("parts"))
                                .toArray()
                                .at(0)
                                .toObject()
                                .value(QStringLiteral("text"));
    if (!text.isString())
        co_return unexpected(TranscriptionError::fromAPI(APIError::decodingFailed()));
    co_return text.toString().trimmed();
}
