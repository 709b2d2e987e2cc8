#include "ClaudeAPIManager.h"

#include "AIModelCatalog.h"
#include "OnDeviceLanguageModel.h"
#include "SecretsVault.h"
#include "UsageTracker.h"
#include "network/APINetworkClient.h"
#include "network/KeychainKey.h"
#include "network/Pricing.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <cmath>

namespace {

constexpr int kRequestTimeoutMs = 60000;

// JSON written field by field, in the order the wire records declare them.
QByteArray jsonString(const QString& s)
{
    const QByteArray array = QJsonDocument(QJsonArray{s}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

QByteArray object(std::initializer_list<std::pair<const char*, QByteArray>> fields)
{
    QByteArray out = "{";
    bool first = true;
    for (const auto& [name, value] : fields) {
        if (value.isNull())
            continue; // an absent optional
        if (!first)
            out += ',';
        first = false;
        out += '"';
        out += name;
        out += "\":";
        out += value;
    }
    return out + '}';
}

QByteArray array(const QList<QByteArray>& items) { return '[' + items.join(',') + ']'; }

QByteArray number(qint64 n) { return QByteArray::number(n); }

QByteArray roleContent(const QString& role, const QString& content)
{
    return object({{"role", jsonString(role)}, {"content", jsonString(content)}});
}

QByteArray geminiContent(const QString& role, const QString& text)
{
    return object({{"role", jsonString(role)}, {"parts", array({object({{"text", jsonString(text)}})})}});
}

bool hasText(const std::optional<QString>& s) { return s && !s->isEmpty(); }

// Response decoding. A field of the wrong type makes the whole body undecodable, as a typed
// decoder would; null counts as absent for optional fields.
struct Decoding
{
    bool failed = false;

    std::optional<QString> optString(const QJsonObject& o, const char* key)
    {
        const QJsonValue v = o.value(QLatin1String(key));
        if (v.isUndefined() || v.isNull())
            return std::nullopt;
        if (!v.isString()) {
            failed = true;
            return std::nullopt;
        }
        return v.toString();
    }
    std::optional<qint64> optInt(const QJsonObject& o, const char* key)
    {
        const QJsonValue v = o.value(QLatin1String(key));
        if (v.isUndefined() || v.isNull())
            return std::nullopt;
        const double d = v.toDouble(std::nan(""));
        if (!v.isDouble() || d != std::floor(d) || std::abs(d) > 9.0e15) {
            failed = true;
            return std::nullopt;
        }
        return qint64(d);
    }
    std::optional<QJsonObject> optObject(const QJsonObject& o, const char* key)
    {
        const QJsonValue v = o.value(QLatin1String(key));
        if (v.isUndefined() || v.isNull())
            return std::nullopt;
        if (!v.isObject()) {
            failed = true;
            return std::nullopt;
        }
        return v.toObject();
    }
    std::optional<QJsonArray> optArray(const QJsonObject& o, const char* key)
    {
        const QJsonValue v = o.value(QLatin1String(key));
        if (v.isUndefined() || v.isNull())
            return std::nullopt;
        if (!v.isArray()) {
            failed = true;
            return std::nullopt;
        }
        return v.toArray();
    }
    QJsonObject element(const QJsonValue& v)
    {
        if (!v.isObject())
            failed = true;
        return v.toObject();
    }
};

std::optional<QJsonObject> parseObject(const QByteArray& body)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    return doc.object();
}

struct Decoded
{
    QString text;
    qint64 input = 0;
    qint64 output = 0;
};

std::optional<Decoded> decodeAnthropic(const QJsonObject& root)
{
    Decoding d;
    const auto content = d.optArray(root, "content");
    if (!content)
        return std::nullopt;
    QStringList texts;
    for (const QJsonValue& v : *content) {
        const QJsonObject block = d.element(v);
        const auto type = d.optString(block, "type");
        const auto text = d.optString(block, "text");
        if (!type)
            return std::nullopt;
        if (*type == QLatin1String("text") && text)
            texts << *text;
    }
    Decoded out{texts.join(u'\n')};
    if (const auto usage = d.optObject(root, "usage")) {
        out.input = d.optInt(*usage, "input_tokens").value_or(0);
        out.output = d.optInt(*usage, "output_tokens").value_or(0);
    }
    if (d.failed)
        return std::nullopt;
    return out;
}

std::optional<Decoded> decodeOpenAI(const QJsonObject& root)
{
    Decoding d;
    const auto choices = d.optArray(root, "choices");
    if (!choices)
        return std::nullopt;
    std::optional<QString> first;
    for (qsizetype i = 0; i < choices->size(); ++i) {
        const QJsonObject choice = d.element(choices->at(i));
        const auto message = d.optObject(choice, "message");
        if (!message)
            return std::nullopt;
        const auto content = d.optString(*message, "content");
        if (i == 0)
            first = content;
    }
    Decoded out;
    if (const auto usage = d.optObject(root, "usage")) {
        out.input = d.optInt(*usage, "prompt_tokens").value_or(0);
        out.output = d.optInt(*usage, "completion_tokens").value_or(0);
    }
    if (d.failed || !first)
        return std::nullopt;
    out.text = *first;
    return out;
}

std::optional<Decoded> decodeGemini(const QJsonObject& root)
{
    Decoding d;
    QStringList texts;
    for (const QJsonValue& c : d.optArray(root, "candidates").value_or(QJsonArray())) {
        const QJsonObject candidate = d.element(c);
        QString joined;
        if (const auto content = d.optObject(candidate, "content")) {
            for (const QJsonValue& p : d.optArray(*content, "parts").value_or(QJsonArray()))
                joined += d.optString(d.element(p), "text").value_or(QString());
        }
        texts << joined;
    }
    Decoded out{texts.join(u'\n')};
    if (const auto usage = d.optObject(root, "usageMetadata")) {
        out.input = d.optInt(*usage, "promptTokenCount").value_or(0);
        out.output = d.optInt(*usage, "candidatesTokenCount").value_or(0);
    }
    if (d.failed || out.text.isEmpty())
        return std::nullopt;
    return out;
}

std::optional<QString> envelopeMessage(const QByteArray& body)
{
    const auto root = parseObject(body);
    if (!root)
        return std::nullopt;
    const QJsonValue error = root->value(QLatin1String("error"));
    if (!error.isObject())
        return std::nullopt;
    const QJsonValue message = error.toObject().value(QLatin1String("message"));
    return message.isString() ? std::optional<QString>(message.toString()) : std::nullopt;
}

} // namespace

ClaudeAPIManager::Endpoints ClaudeAPIManager::Endpoints::fromEnvironment()
{
    return {QUrl(APINetworkClient::baseURL("OVRA_ANTHROPIC_BASE_URL", QStringLiteral("https://api.anthropic.com")) +
                 QStringLiteral("/v1/messages")),
            QUrl(APINetworkClient::baseURL("OVRA_OPENAI_BASE_URL", QStringLiteral("https://api.openai.com")) +
                 QStringLiteral("/v1/chat/completions")),
            QUrl(APINetworkClient::baseURL("OVRA_GROQ_BASE_URL", QStringLiteral("https://api.groq.com")) +
                 QStringLiteral("/openai/v1/chat/completions")),
            APINetworkClient::baseURL("OVRA_GEMINI_BASE_URL",
                                      QStringLiteral("https://generativelanguage.googleapis.com")) +
                QStringLiteral("/v1beta/models")};
}

ClaudeAPIManager::Endpoints ClaudeAPIManager::Endpoints::onHost(const QString& base)
{
    return {QUrl(base + QStringLiteral("/v1/messages")), QUrl(base + QStringLiteral("/v1/chat/completions")),
            QUrl(base + QStringLiteral("/openai/v1/chat/completions")), base + QStringLiteral("/v1beta/models")};
}

ClaudeAPIManager::ClaudeAPIManager(APINetworkClient& network, SecretsVault& vault, UsageTracker& usage,
                                   OnDeviceLanguageModel& onDevice, Endpoints endpoints, QObject* parent)
    : QObject(parent), m_network(network), m_vault(vault), m_usage(usage), m_onDevice(onDevice),
      m_endpoints(std::move(endpoints))
{
    // Fixed at construction: a malformed endpoint is a programming error.
    Q_ASSERT(m_endpoints.anthropic.isValid() && m_endpoints.openAI.isValid() && m_endpoints.groqChat.isValid());
}

void ClaudeAPIManager::setProcessing(bool processing)
{
    if (m_isProcessing == processing)
        return;
    m_isProcessing = processing;
    Q_EMIT isProcessingChanged(processing);
}

QByteArray ClaudeAPIManager::anthropicBody(const QList<ChatMessage>& messages, const QString& model,
                                           const std::optional<QString>& system, int maxTokens)
{
    QList<QByteArray> items;
    for (const ChatMessage& m : messages)
        items << roleContent(m.role, m.content);
    return object({{"model", jsonString(model)},
                   {"max_tokens", number(maxTokens)},
                   {"system", system ? jsonString(*system) : QByteArray()},
                   {"messages", array(items)}});
}

QByteArray ClaudeAPIManager::openAIBody(const QList<ChatMessage>& messages, const QString& model,
                                        const std::optional<QString>& system, int maxTokens)
{
    QList<QByteArray> items;
    if (hasText(system))
        items << roleContent(QStringLiteral("system"), *system);
    for (const ChatMessage& m : messages)
        items << roleContent(m.role, m.content);
    return object({{"model", jsonString(model)},
                   {"max_completion_tokens", number(maxTokens)},
                   {"messages", array(items)}});
}

QByteArray ClaudeAPIManager::geminiBody(const QList<ChatMessage>& messages, const QString& model,
                                        const std::optional<QString>& system, int maxTokens)
{
    QList<std::pair<QString, QString>> contents;
    for (const ChatMessage& m : messages)
        contents.append({m.isAssistant() ? QStringLiteral("model") : QStringLiteral("user"), m.content});
    QByteArray systemInstruction;
    if (hasText(system)) {
        if (model.startsWith(QLatin1String("gemma"))) {
            // These models take no system instruction: it leads the first user turn.
            auto user = std::find_if(contents.begin(), contents.end(),
                                     [](const auto& c) { return c.first == QLatin1String("user"); });
            if (user != contents.end())
                user->second = *system + QStringLiteral("\n\n") + user->second;
            else
                contents.prepend({QStringLiteral("user"), *system});
        } else {
            systemInstruction = geminiContent(QStringLiteral("user"), *system);
        }
    }
    QList<QByteArray> items;
    for (const auto& [role, text] : contents)
        items << geminiContent(role, text);
    return object({{"contents", array(items)},
                   {"systemInstruction", systemInstruction},
                   {"generationConfig", object({{"maxOutputTokens", number(maxTokens)}})}});
}

QCoro::Task<Expected<HTTPResponse, APIError>> ClaudeAPIManager::post(QUrl url,
                                                                     QList<QPair<QByteArray, QByteArray>> headers,
                                                                     QByteArray body)
{
    QNetworkRequest request(url);
    request.setTransferTimeout(kRequestTimeoutMs);
    for (const auto& [name, value] : headers)
        request.setRawHeader(name, value);
    for (int attempt = 0;; ++attempt) {
        auto sending = m_network.send(APINetworkClient::Session::general, request, "POST", {body});
        auto result = co_await sending;
        // A connection lost mid-way is retried once, at once; that outcome is final.
        const auto failure = result ? std::nullopt : result.error().urlError();
        if (attempt == 0 && failure && failure->code == URLError::Code::networkConnectionLost)
            continue;
        co_return result;
    }
}

QCoro::Task<Expected<ClaudeAPIManager::Answer, APIError>>
ClaudeAPIManager::perform(AIProvider provider, QString key, QList<ChatMessage> messages, QString model,
                          std::optional<QString> system, int maxTokens)
{
    QUrl url;
    QList<QPair<QByteArray, QByteArray>> headers{{"Content-Type", "application/json"}};
    QByteArray body;
    switch (provider) {
    case AIProvider::claude:
        url = m_endpoints.anthropic;
        headers.append(qMakePair(QByteArray("x-api-key"), key.toUtf8()));
        headers.append(qMakePair(QByteArray("anthropic-version"), QByteArray("2023-06-01")));
        body = anthropicBody(messages, model, system, maxTokens);
        break;
    case AIProvider::openai:
    case AIProvider::groq:
        url = provider == AIProvider::groq ? m_endpoints.groqChat : m_endpoints.openAI;
        headers.append(qMakePair(QByteArray("Authorization"), QByteArray("Bearer ") + key.toUtf8()));
        body = openAIBody(messages, model, system, maxTokens);
        break;
    case AIProvider::gemini:
        // The key travels in the query string; escaped so that no character of it can end the query.
        url = QUrl(m_endpoints.geminiBase + u'/' + model + QStringLiteral(":generateContent?key=") +
                   QString::fromLatin1(QUrl::toPercentEncoding(key)));
        body = geminiBody(messages, model, system, maxTokens);
        break;
    case AIProvider::appleIntelligence:
        co_return unexpected(APIError::invalidResponse());
    }
    if (!url.isValid())
        co_return unexpected(APIError::invalidResponse());

    auto posting = post(url, headers, body);
    const auto response = co_await posting;
    if (!response)
        co_return unexpected(response.error());
    if (!response->isSuccess())
        co_return unexpected(APIError::serverError(response->status, envelopeMessage(response->body)));
    const auto root = parseObject(response->body);
    std::optional<Decoded> decoded;
    if (root) {
        switch (provider) {
        case AIProvider::claude:
            decoded = decodeAnthropic(*root);
            break;
        case AIProvider::openai:
        case AIProvider::groq:
            decoded = decodeOpenAI(*root);
            break;
        case AIProvider::gemini:
        case AIProvider::appleIntelligence:
            decoded = decodeGemini(*root);
            break;
        }
    }
    if (!decoded)
        co_return unexpected(APIError::decodingFailed());
    co_return Answer{decoded->text, decoded->input, decoded->output};
}

QCoro::Task<Expected<ChatAnswer, APIError>> ClaudeAPIManager::ask(QList<ChatMessage> messages, QString model,
                                                                  std::optional<QString> system, int maxTokens,
                                                                  AIProvider provider)
{
    QPointer<ClaudeAPIManager> self(this);
    setProcessing(true);
    m_lastCostUSD.reset();

    if (provider == AIProvider::appleIntelligence) {
        auto responding = m_onDevice.respond(messages, system, maxTokens);
        auto answer = co_await responding;
        if (self) {
            setProcessing(false);
            m_lastCostUSD.reset();
        }
        if (!answer)
            co_return unexpected(answer.error());
        co_return ChatAnswer{*answer, std::nullopt};
    }

    auto reading = m_vault.readAPIKey(*keychainKey(provider));
    const std::optional<QString> key = co_await reading;
    if (!self)
        co_return unexpected(APIError::missingAPIKey(AIModelCatalog::providerDisplayName(provider)));
    if (!key) {
        setProcessing(false);
        m_lastCostUSD.reset();
        co_return unexpected(APIError::missingAPIKey(AIModelCatalog::providerDisplayName(provider)));
    }
    auto performing = perform(provider, *key, messages, model, system, maxTokens);
    const auto answer = co_await performing;
    if (!answer) {
        if (self) {
            setProcessing(false);
            m_lastCostUSD.reset();
        }
        co_return unexpected(answer.error());
    }
    const double cost = chatCost(model, answer->inputTokens, answer->outputTokens);
    if (!self)
        co_return ChatAnswer{answer->text, cost};
    setProcessing(false);
    // An OpenAI-compatible Groq chat is accounted as "openai".
    const AIProvider accounted = provider == AIProvider::groq ? AIProvider::openai : provider;
    m_usage.recordChat(accounted, model, int(answer->inputTokens), int(answer->outputTokens));
    m_lastCostUSD = cost;
    co_return ChatAnswer{answer->text, cost};
}
