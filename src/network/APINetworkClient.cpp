#include "APINetworkClient.h"

#include <QCoroNetworkReply>
#include <QIODevice>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>

#include <zlib.h>

namespace {

URLError::Code urlCode(QNetworkReply::NetworkError e)
{
    using C = URLError::Code;
    switch (e) {
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::ProxyConnectionRefusedError:
        return C::cannotConnectToHost;
    case QNetworkReply::RemoteHostClosedError:
    case QNetworkReply::ProxyConnectionClosedError:
    case QNetworkReply::TemporaryNetworkFailureError:
        return C::networkConnectionLost;
    case QNetworkReply::HostNotFoundError:
    case QNetworkReply::ProxyNotFoundError:
        return C::cannotFindHost;
    case QNetworkReply::TimeoutError:
    case QNetworkReply::ProxyTimeoutError:
        return C::timedOut;
    case QNetworkReply::OperationCanceledError:
        return C::cancelled;
    case QNetworkReply::SslHandshakeFailedError:
        return C::secureConnectionFailed;
    case QNetworkReply::NetworkSessionFailedError:
        return C::notConnectedToInternet;
    case QNetworkReply::BackgroundRequestNotAllowedError:
        return C::dataNotAllowed;
    case QNetworkReply::TooManyRedirectsError:
        return C::httpTooManyRedirects;
    default:
        return C::unknown;
    }
}

// Connection-level failures; content and server errors still carry an HTTP reply.
bool isTransportFailure(QNetworkReply::NetworkError e)
{
    return e > QNetworkReply::NoError && e < QNetworkReply::ContentAccessDenied;
}

std::optional<QByteArray> gunzip(const QByteArray& data)
{
    z_stream zs{};
    if (inflateInit2(&zs, 16 + MAX_WBITS) != Z_OK)
        return std::nullopt;
    QByteArray out;
    char buffer[16384];
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
    zs.avail_in = static_cast<uInt>(data.size());
    int rc = Z_OK;
    while (rc != Z_STREAM_END) {
        zs.next_out = reinterpret_cast<Bytef*>(buffer);
        zs.avail_out = sizeof buffer;
        rc = inflate(&zs, Z_NO_FLUSH);
        if (rc != Z_OK && rc != Z_STREAM_END) {
            inflateEnd(&zs);
            return std::nullopt;
        }
        out.append(buffer, static_cast<qsizetype>(sizeof buffer - zs.avail_out));
        if (rc == Z_OK && zs.avail_in == 0 && zs.avail_out != 0) {
            // Input ended before the stream did.
            inflateEnd(&zs);
            return std::nullopt;
        }
    }
    inflateEnd(&zs);
    return out;
}

std::unique_ptr<QNetworkAccessManager> makeManager()
{
    auto nam = std::make_unique<QNetworkAccessManager>();
    // Time-outs are ours (see send), so that they can be told apart from a cancellation.
    nam->setTransferTimeout(0);
    nam->setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
    return nam;
}

} // namespace

APINetworkClient::APINetworkClient() : APINetworkClient(Config{}) {}

APINetworkClient::APINetworkClient(Config config)
    : m_config(config), m_general(makeManager()), m_transcription(makeManager())
{
}

APINetworkClient::~APINetworkClient() = default;

QString APINetworkClient::baseURL(const char* environmentVariable, const QString& publicHost)
{
    QString base = qEnvironmentVariable(environmentVariable).trimmed();
    if (base.isEmpty())
        return publicHost;
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    return base;
}

QCoro::Task<Expected<HTTPResponse, APIError>> APINetworkClient::send(Session session, QNetworkRequest request,
                                                                     QByteArray verb, Body body)
{
    QNetworkAccessManager* nam = session == Session::general ? m_general.get() : m_transcription.get();
    const SessionConfig cfg = session == Session::general ? m_config.general : m_config.transcription;

    // Setting Accept-Encoding ourselves turns off Qt's own decompression: the body is
    // decoded below.
    request.setRawHeader("Accept-Encoding", "gzip");
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    const std::chrono::milliseconds idle =
        request.transferTimeout() > 0 ? std::chrono::milliseconds(request.transferTimeout()) : cfg.requestTimeout;
    request.setTransferTimeout(0);

    QNetworkReply* raw = nullptr;
    if (body.device) {
        if (!request.header(QNetworkRequest::ContentLengthHeader).isValid())
            request.setHeader(QNetworkRequest::ContentLengthHeader, body.device->size());
        raw = nam->sendCustomRequest(request, verb, body.device);
    } else if (verb == "GET" && body.bytes.isEmpty()) {
        raw = nam->get(request);
    } else {
        raw = nam->sendCustomRequest(request, verb, body.bytes);
    }
    std::unique_ptr<QNetworkReply, void (*)(QNetworkReply*)> reply(raw, [](QNetworkReply* r) { r->deleteLater(); });

    bool timedOut = false;
    QTimer idleTimer;
    QTimer resourceTimer;
    idleTimer.setSingleShot(true);
    resourceTimer.setSingleShot(true);
    auto expire = [&timedOut, raw] {
        timedOut = true;
        raw->abort();
    };
    QObject::connect(&idleTimer, &QTimer::timeout, raw, expire);
    QObject::connect(&resourceTimer, &QTimer::timeout, raw, expire);
    auto restartIdle = [&idleTimer, idle] { idleTimer.start(idle); };
    QObject::connect(raw, &QNetworkReply::uploadProgress, &idleTimer, restartIdle);
    QObject::connect(raw, &QNetworkReply::downloadProgress, &idleTimer, restartIdle);
    idleTimer.start(idle);
    resourceTimer.start(cfg.resourceTimeout);

    if (!raw->isFinished())
        co_await raw;
    idleTimer.stop();
    resourceTimer.stop();

    const QNetworkReply::NetworkError error = raw->error();
    if (timedOut)
        co_return unexpected(APIError::transport(URLError::Code::timedOut));
    if (isTransportFailure(error))
        co_return unexpected(APIError::transport(urlCode(error)));
    const QVariant status = raw->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    // Qt reports some statuses (400 among them) as protocol errors: a status makes it a reply.
    if (!status.isValid())
        co_return unexpected(APIError::invalidResponse());

    HTTPResponse response;
    response.status = status.toInt();
    response.headers = raw->rawHeaderPairs();
    response.body = raw->readAll();
    if (raw->rawHeader("Content-Encoding").trimmed().toLower() == "gzip") {
        auto plain = gunzip(response.body);
        if (!plain)
            co_return unexpected(APIError::decodingFailed());
        response.body = std::move(*plain);
    }
    co_return response;
}
