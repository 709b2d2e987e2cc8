#pragma once
// The two HTTP sessions every cloud call goes through: `session` for short calls and
// `transcriptionSession` for uploads. Both ask for gzip and decode it themselves, enforce an
// idle time-out and a whole-transfer time-out, and turn every transport failure into an
// APIError carrying its URL-error code.
#include "APIError.h"
#include "store/Expected.h"

#include <QByteArray>
#include <QCoroTask>
#include <QList>
#include <QNetworkRequest>
#include <QPair>
#include <chrono>
#include <memory>

class QIODevice;
class QNetworkAccessManager;

// An HTTP reply: any status, the whole (decoded) body.
struct HTTPResponse
{
    int status = 0;
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers;

    bool isSuccess() const { return status >= 200 && status <= 299; }
};

class APINetworkClient
{
public:
    enum class Session { general, transcription };

    struct SessionConfig
    {
        // Longest wait without a byte going either way.
        std::chrono::milliseconds requestTimeout{30000};
        // Longest whole transfer.
        std::chrono::milliseconds resourceTimeout{60000};
    };
    struct Config
    {
        SessionConfig general{std::chrono::milliseconds(30000), std::chrono::milliseconds(60000)};
        SessionConfig transcription{std::chrono::milliseconds(30000), std::chrono::milliseconds(300000)};
        static constexpr int maximumConnectionsPerHost = 4;
    };

    // A request body: bytes, or a device read as the upload goes (owned by the caller, open,
    // alive until the send completes; its size is the Content-Length).
    struct Body
    {
        QByteArray bytes;
        QIODevice* device = nullptr;
    };

    APINetworkClient();
    explicit APINetworkClient(Config config);
    ~APINetworkClient();
    APINetworkClient(const APINetworkClient&) = delete;
    APINetworkClient& operator=(const APINetworkClient&) = delete;

    const Config& config() const { return m_config; }

    // Sends one request. The request's own transfer time-out (QNetworkRequest::transferTimeout),
    // when set, replaces the session's idle time-out. A reply that is not HTTP gives
    // invalidResponse; transport failures give APIError::transport.
    QCoro::Task<Expected<HTTPResponse, APIError>> send(Session session, QNetworkRequest request,
                                                       QByteArray verb, Body body);
    QCoro::Task<Expected<HTTPResponse, APIError>> send(Session session, QNetworkRequest request, QByteArray verb)
    {
        return send(session, std::move(request), std::move(verb), Body{});
    }

    // The base for a service host: scheme + host + optional port from the environment variable,
    // otherwise the public host.
    static QString baseURL(const char* environmentVariable, const QString& publicHost);

private:
    Config m_config;
    std::unique_ptr<QNetworkAccessManager> m_general;
    std::unique_ptr<QNetworkAccessManager> m_transcription;
};
