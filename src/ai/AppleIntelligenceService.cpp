#include "AppleIntelligenceService.h"

#include "network/APINetworkClient.h"
#include "store/AppSettingsKeys.h"
#include "store/Settings.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QPointer>

namespace {

std::optional<QJsonObject> parseObject(const QByteArray& body)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    return doc.object();
}

// The error object of an OpenAI-compatible error reply ({"error": {...}} or {"error": "text"}).
QJsonObject errorObject(const QByteArray& body)
{
    const auto root = parseObject(body);
    if (!root)
        return {};
    const QJsonValue error = root->value(QLatin1String("error"));
    if (error.isString())
        return QJsonObject{{QStringLiteral("message"), error.toString()}};
    return error.toObject();
}

bool isContextError(const QJsonObject& error)
{
    const QString type = error.value(QLatin1String("type")).toString();
    const QString code = error.value(QLatin1String("code")).toVariant().toString();
    const QString message = error.value(QLatin1String("message")).toString().toLower();
    return type == QLatin1String("exceed_context_size_error") || code == QLatin1String("context_length_exceeded") ||
           message.contains(QLatin1String("context size")) || message.contains(QLatin1String("context length")) ||
           message.contains(QLatin1String("context window"));
}

// Ollama lists "name:tag" and answers to a name without its tag as ":latest".
QString withTag(const QString& model)
{
    return model.contains(u':') ? model : model + QStringLiteral(":latest");
}

APIError failure(const QString& message) { return APIError::serverError(0, message); }

APIError generationError(const QString& description)
{
    return failure(QStringLiteral("Apple Intelligence error: ") + description);
}

} // namespace

AppleIntelligenceService::AppleIntelligenceService(APINetworkClient& network, std::function<Config()> config,
                                                   QObject* parent)
    : AppleIntelligenceService(network, std::move(config), Timeouts(), parent)
{
}

AppleIntelligenceService::AppleIntelligenceService(APINetworkClient& network, std::function<Config()> config,
                                                   Timeouts timeouts, QObject* parent)
    : QObject(parent), m_network(network), m_config(std::move(config)), m_timeouts(timeouts)
{
    // Until the server is asked, only what the settings say is known.
    m_availability = m_config().model.isEmpty() ? notEnabledMessage() : unavailableMessage();
}

std::function<AppleIntelligenceService::Config()> AppleIntelligenceService::configFrom(const Settings& settings)
{
    return [&settings] {
        const QString url = settings.stringValue(AppSettingsKey::localModelURL, QString()).trimmed();
        return Config{QUrl(url.isEmpty() ? QString::fromLatin1(kDefaultURL) : url),
                      settings.stringValue(AppSettingsKey::localModel, QString()).trimmed()};
    };
}

QString AppleIntelligenceService::notEligibleMessage()
{
    return QStringLiteral("This device does not support Apple Intelligence.");
}
QString AppleIntelligenceService::notEnabledMessage()
{
    return QStringLiteral("Enable Apple Intelligence in Settings to use the on-device model.");
}
QString AppleIntelligenceService::notReadyMessage()
{
    return QStringLiteral("The on-device model is still downloading — try again soon.");
}
QString AppleIntelligenceService::unavailableMessage()
{
    return QStringLiteral("Apple Intelligence is not available right now.");
}
QString AppleIntelligenceService::tooLongMessage()
{
    return QStringLiteral("Too long for Apple Intelligence: the on-device model is limited to ≈4,000 tokens (prompt + "
                          "text + reply) and Apple does not allow raising it. Shorten the prompt, or pick a cloud "
                          "model for this feature in Settings → AI.");
}

void AppleIntelligenceService::setAvailability(std::optional<QString> message)
{
    if (m_availability == message)
        return;
    m_availability = std::move(message);
    Q_EMIT availabilityChanged();
}

QString AppleIntelligenceService::promptText(const QList<ChatMessage>& messages)
{
    QStringList pieces;
    for (const ChatMessage& m : messages)
        pieces << (m.isAssistant() ? QStringLiteral("Assistant: ") : QStringLiteral("User: ")) + m.content;
    return pieces.join(QStringLiteral("\n\n"));
}

QByteArray AppleIntelligenceService::requestBody(const QString& model, const std::optional<QString>& system,
                                                 const QString& prompt, int maxTokens,
                                                 const std::optional<GenerationSchema>& schema)
{
    QJsonArray messages;
    if (system && !system->isEmpty())
        messages.append(ChatMessage{QStringLiteral("system"), *system}.toJson());
    messages.append(ChatMessage::user(prompt).toJson());
    QJsonObject body{{QStringLiteral("model"), model},
                     {QStringLiteral("messages"), messages},
                     {QStringLiteral("max_tokens"), maxTokens},
                     {QStringLiteral("stream"), false}};
    if (schema) {
        body.insert(QStringLiteral("response_format"),
                    QJsonObject{{QStringLiteral("type"), QStringLiteral("json_schema")},
                                {QStringLiteral("json_schema"),
                                 QJsonObject{{QStringLiteral("name"), schema->name},
                                             {QStringLiteral("strict"), true},
                                             {QStringLiteral("schema"), schema->schema}}}});
    }
    return QJsonDocument(body).toJson(QJsonDocument::Compact);
}

bool AppleIntelligenceService::matches(const QJsonValue& value, const QJsonObject& schema)
{
    const QJsonValue allowed = schema.value(QLatin1String("enum"));
    if (allowed.isArray() && !allowed.toArray().contains(value))
        return false;
    const QString type = schema.value(QLatin1String("type")).toString();
    if (type == QLatin1String("string"))
        return value.isString();
    if (type == QLatin1String("integer"))
        return value.isDouble() && value.toDouble() == double(qint64(value.toDouble()));
    if (type == QLatin1String("array")) {
        if (!value.isArray())
            return false;
        const QJsonObject items = schema.value(QLatin1String("items")).toObject();
        const QJsonArray array = value.toArray();
        return std::all_of(array.begin(), array.end(), [&](const QJsonValue& v) { return matches(v, items); });
    }
    if (type == QLatin1String("object")) {
        if (!value.isObject())
            return false;
        const QJsonObject object = value.toObject();
        for (const QJsonValue& name : schema.value(QLatin1String("required")).toArray())
            if (!object.contains(name.toString()))
                return false;
        const QJsonObject properties = schema.value(QLatin1String("properties")).toObject();
        for (auto it = properties.begin(); it != properties.end(); ++it)
            if (object.contains(it.key()) && !matches(object.value(it.key()), it.value().toObject()))
                return false;
        return true;
    }
    return true;
}

QCoro::Task<AppleIntelligenceService::Probe> AppleIntelligenceService::probe(Config config)
{
    if (config.model.isEmpty())
        co_return Probe{notEnabledMessage(), {}};
    QUrl url = config.base;
    url.setPath(url.path().chopped(url.path().endsWith(u'/') ? 1 : 0) + QStringLiteral("/v1/models"));
    if (!url.isValid() || url.host().isEmpty())
        co_return Probe{unavailableMessage(), {}};
    QNetworkRequest request(url);
    request.setTransferTimeout(int(m_timeouts.probe.count()));
    auto sending = m_network.send(APINetworkClient::Session::general, request, "GET");
    const auto response = co_await sending;
    if (!response)
        co_return Probe{unavailableMessage(), {}};
    // llama.cpp's server answers 503 while it loads its model.
    if (response->status == 503)
        co_return Probe{notReadyMessage(), {}};
    const auto root = response->isSuccess() ? parseObject(response->body) : std::nullopt;
    if (!root)
        co_return Probe{unavailableMessage(), {}};
    Probe result;
    bool servesAnyName = false;
    for (const QJsonValue& entry : root->value(QLatin1String("data")).toArray()) {
        const QJsonObject model = entry.toObject();
        const QString id = model.value(QLatin1String("id")).toString();
        if (!id.isEmpty())
            result.models << id;
        // llama.cpp's server runs the one model it was started with, whatever name is asked.
        servesAnyName |= model.value(QLatin1String("owned_by")).toString() == QLatin1String("llamacpp");
    }
    const bool present = servesAnyName || std::any_of(result.models.begin(), result.models.end(), [&](const QString& id) {
                             return withTag(id) == withTag(config.model);
                         });
    if (!present)
        result.message = notReadyMessage(); // not pulled yet
    co_return result;
}

QCoro::Task<std::optional<QString>> AppleIntelligenceService::checkAvailability()
{
    QPointer<AppleIntelligenceService> self(this);
    auto probing = probe(m_config());
    const Probe result = co_await probing;
    if (self)
        setAvailability(result.message);
    co_return result.message;
}

QCoro::Task<QStringList> AppleIntelligenceService::availableModels()
{
    Config config = m_config();
    if (config.model.isEmpty())
        config.model = QStringLiteral("?"); // the list is wanted even before a model is chosen
    auto probing = probe(config);
    const Probe result = co_await probing;
    co_return result.models;
}

QCoro::Task<Expected<QString, APIError>> AppleIntelligenceService::complete(std::optional<QString> system,
                                                                            QString prompt, int maxTokens,
                                                                            std::optional<GenerationSchema> schema)
{
    QPointer<AppleIntelligenceService> self(this);
    const Config config = m_config();
    auto probing = probe(config);
    const Probe availability = co_await probing;
    if (self)
        setAvailability(availability.message);
    if (availability.message)
        co_return unexpected(failure(*availability.message));

    QUrl url = config.base;
    url.setPath(url.path().chopped(url.path().endsWith(u'/') ? 1 : 0) + QStringLiteral("/v1/chat/completions"));
    QNetworkRequest request(url);
    request.setTransferTimeout(int(m_timeouts.answer.count()));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray("application/json"));
    auto sending = m_network.send(APINetworkClient::Session::general, request, "POST",
                                  {requestBody(config.model, system, prompt, maxTokens, schema)});
    const auto response = co_await sending;
    if (!response) {
        const auto transport = response.error().urlError();
        if (transport && transport->code == URLError::Code::timedOut)
            co_return unexpected(generationError(QStringLiteral("the local model did not answer in time.")));
        co_return unexpected(failure(unavailableMessage()));
    }
    const QJsonObject error = errorObject(response->body);
    if (!response->isSuccess()) {
        if (isContextError(error))
            co_return unexpected(failure(tooLongMessage()));
        const QString message = error.value(QLatin1String("message")).toString();
        // Ollama: "model … not found, try pulling it first"; llama.cpp: 503 while loading.
        if (response->status == 503 || (response->status == 404 && message.contains(QLatin1String("not found"))))
            co_return unexpected(failure(notReadyMessage()));
        co_return unexpected(generationError(message.isEmpty()
                                                 ? QStringLiteral("the local model answered HTTP ") +
                                                       QString::number(response->status) + u'.'
                                                 : message));
    }
    const auto root = parseObject(response->body);
    const QJsonValue choices = root ? root->value(QLatin1String("choices")) : QJsonValue();
    const QJsonObject choice = choices.toArray().at(0).toObject();
    const QJsonValue content = choice.value(QLatin1String("message")).toObject().value(QLatin1String("content"));
    if (!content.isString())
        co_return unexpected(generationError(QStringLiteral("the local model's answer could not be read.")));
    // A reply cut at the token limit because the prompt filled the context.
    if (choice.value(QLatin1String("finish_reason")).toString() == QLatin1String("length") &&
        content.toString().isEmpty())
        co_return unexpected(failure(tooLongMessage()));
    co_return content.toString();
}

QCoro::Task<Expected<QString, APIError>> AppleIntelligenceService::respond(QList<ChatMessage> messages,
                                                                           std::optional<QString> system,
                                                                           int maxTokens)
{
    auto completing = complete(std::move(system), promptText(messages), maxTokens, std::nullopt);
    co_return co_await completing;
}

QCoro::Task<Expected<QJsonValue, APIError>> AppleIntelligenceService::generate(std::optional<QString> instructions,
                                                                               QString prompt, GenerationSchema schema,
                                                                               int maxTokens)
{
    const QJsonObject shape = schema.schema;
    auto completing = complete(std::move(instructions), std::move(prompt), maxTokens, std::move(schema));
    const auto text = co_await completing;
    if (!text)
        co_return unexpected(text.error());
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(text->toUtf8(), &parseError);
    if (parseError.error != QJsonParseError::NoError)
        co_return unexpected(generationError(QStringLiteral("the local model's answer is not JSON.")));
    const QJsonValue value = doc.isArray() ? QJsonValue(doc.array()) : QJsonValue(doc.object());
    if (!matches(value, shape))
        co_return unexpected(generationError(QStringLiteral("the local model's answer does not have the asked shape.")));
    co_return value;
}
