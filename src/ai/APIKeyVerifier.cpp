#include "APIKeyVerifier.h"

#include "network/ErrorEnvelope.h"

#include <QUrlQuery>

APIKeyVerifier::APIKeyVerifier(APINetworkClient& network, ServiceHosts hosts, std::chrono::milliseconds timeout)
    : m_network(network), m_hosts(std::move(hosts)), m_timeout(timeout)
{
}

QCoro::Task<Expected<std::optional<QString>, APIError>> APIKeyVerifier::verify(CloudProviderInfo provider, QString key)
{
    using Result = Expected<std::optional<QString>, APIError>;
    if (provider.keychainKey == KeychainKey::backupPassword)
        co_return Result(std::optional<QString>(QStringLiteral("Not an API provider key")));
    // Only an OVRA_*_BASE_URL override can be malformed: say so rather than blame the key.
    const QString base = provider.keychainKey == KeychainKey::groqAPIKey     ? m_hosts.groq
                         : provider.keychainKey == KeychainKey::openAIAPIKey ? m_hosts.openAI
                         : provider.keychainKey == KeychainKey::anthropicAPIKey ? m_hosts.anthropic
                                                                                : m_hosts.gemini;
    const QUrl baseURL(base, QUrl::StrictMode);
    if (!baseURL.isValid() || baseURL.host().isEmpty() ||
        (baseURL.scheme() != QLatin1String("https") && baseURL.scheme() != QLatin1String("http")))
        co_return Result(std::optional<QString>(QStringLiteral("Adresse du service mal formée : « %1 » (OVRA_%2_BASE_URL)")
                                                    .arg(base, provider.id.toUpper())));
    QNetworkRequest request;
    switch (provider.keychainKey) {
    case KeychainKey::groqAPIKey:
        request.setUrl(QUrl(m_hosts.groq + QStringLiteral("/openai/v1/models")));
        request.setRawHeader("Authorization", "Bearer " + key.toUtf8());
        break;
    case KeychainKey::openAIAPIKey:
        request.setUrl(QUrl(m_hosts.openAI + QStringLiteral("/v1/models")));
        request.setRawHeader("Authorization", "Bearer " + key.toUtf8());
        break;
    case KeychainKey::anthropicAPIKey:
        request.setUrl(QUrl(m_hosts.anthropic + QStringLiteral("/v1/models")));
        request.setRawHeader("x-api-key", key.toUtf8());
        request.setRawHeader("anthropic-version", "2023-06-01");
        break;
    case KeychainKey::geminiAPIKey: {
        QUrl url(m_hosts.gemini + QStringLiteral("/v1beta/models"));
        url.setQuery(QStringLiteral("key=") + QString::fromLatin1(QUrl::toPercentEncoding(key)), QUrl::StrictMode);
        if (!url.isValid())
            co_return Result(std::optional<QString>(QStringLiteral("Invalid key format")));
        request.setUrl(url);
        break;
    }
    case KeychainKey::backupPassword:
        co_return Result(std::optional<QString>(QStringLiteral("Not an API provider key")));
    }
    request.setTransferTimeout(int(m_timeout.count()));

    // A named task: GCC 12 mishandles temporaries inside a co_await expression.
    const QByteArray verb = "GET";
    auto sending = m_network.send(APINetworkClient::Session::general, request, verb);
    const auto reply = co_await sending;
    if (!reply) {
        if (reply.error().kind() == APIError::Kind::invalidResponse)
            co_return Result(std::optional<QString>(QStringLiteral("Unexpected response from ") + provider.displayName));
        co_return unexpected(reply.error());
    }
    const int status = reply->status;
    if (reply->isSuccess() || status == 429)
        co_return Result(std::optional<QString>());
    if (status == 401 || status == 403)
        co_return Result(std::optional<QString>(provider.displayName + QStringLiteral(" rejected this key")));
    const auto message = errorEnvelopeMessage(reply->body);
    co_return Result(std::optional<QString>(QStringLiteral("Error ") + QString::number(status) +
                                            (message ? QStringLiteral(": ") + *message : QString())));
}
