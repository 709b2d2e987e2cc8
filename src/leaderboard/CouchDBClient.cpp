#include "CouchDBClient.h"

#include "network/APINetworkClient.h"

#include <QJsonDocument>
#include <QNetworkRequest>
#include <QUrlQuery>

namespace {

QString encodedSegment(const QString& s)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(s));
}

} // namespace

std::optional<CouchDBLocation> CouchDBLocation::parse(const QString& url)
{
    QUrl u(url.trimmed(), QUrl::StrictMode);
    if (!u.isValid() || (u.scheme() != QLatin1String("http") && u.scheme() != QLatin1String("https")) ||
        u.host().isEmpty() || u.hasQuery() || u.hasFragment())
        return std::nullopt;
    QString path = u.path(QUrl::FullyDecoded);
    while (path.endsWith(QLatin1Char('/')))
        path.chop(1);
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const QString database = path.mid(slash + 1);
    if (database.isEmpty())
        return std::nullopt;
    CouchDBLocation l;
    l.database = database;
    u.setPath(path.left(slash));
    l.server = u;
    return l;
}

QString CouchDBLocation::text() const
{
    return server.toString() + QLatin1Char('/') + database;
}

CouchDBClient::CouchDBClient(APINetworkClient& network, CouchDBLocation location)
    : m_network(&network), m_location(std::move(location))
{
}

QUrl CouchDBClient::serverUrl(const QString& path) const
{
    QUrl u = m_location.server;
    u.setPath(u.path() + path, QUrl::TolerantMode);
    return u;
}

QUrl CouchDBClient::databaseUrl(const QString& path) const
{
    return serverUrl(QLatin1Char('/') + encodedSegment(m_location.database) + path);
}

std::optional<QJsonObject> CouchDBClient::objectBody(const HTTPResponse& response)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(response.body, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    return doc.object();
}

QCoro::Task<Expected<HTTPResponse, LeaderboardError>> CouchDBClient::call(QUrl url, QByteArray verb, QJsonObject body,
                                                                         bool authenticate)
{
    QNetworkRequest request(url);
    request.setRawHeader("Accept", "application/json");
    // Cookies of one account must never leak into the requests of another.
    request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    if (authenticate && m_credentials) {
        const QByteArray pair = m_credentials->name.toUtf8() + ':' + m_credentials->password.toUtf8();
        request.setRawHeader("Authorization", "Basic " + pair.toBase64());
    }
    APINetworkClient::Body payload;
    if (!body.isEmpty()) {
        request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
        payload.bytes = QJsonDocument(body).toJson(QJsonDocument::Compact);
    }
    auto reply = co_await m_network->send(APINetworkClient::Session::general, request, verb, payload);
    if (!reply)
        co_return unexpected(LeaderboardError::fromTransport(reply.error()));
    if (!reply->isSuccess())
        co_return unexpected(LeaderboardError::fromStatus(reply->status, reply->headers, reply->body));
    co_return std::move(*reply);
}

QCoro::Task<Expected<QString, LeaderboardError>> CouchDBClient::sessionUserName()
{
    if (!m_credentials)
        co_return unexpected(LeaderboardError(LeaderboardError::Kind::notAuthenticated));
    auto reply = co_await call(serverUrl(QStringLiteral("/_session")), "GET", {});
    if (!reply)
        co_return unexpected(reply.error());
    const auto o = objectBody(*reply);
    if (!o)
        co_return unexpected(LeaderboardError(LeaderboardError::Kind::invalidResponse, reply->status));
    const QJsonValue name = o->value(QLatin1String("userCtx")).toObject().value(QLatin1String("name"));
    if (!name.isString() || name.toString().isEmpty())
        co_return unexpected(LeaderboardError(LeaderboardError::Kind::notAuthenticated));
    co_return name.toString();
}

QCoro::Task<Expected<void, LeaderboardError>> CouchDBClient::signIn(const CouchDBCredentials& credentials)
{
    QJsonObject body{{QStringLiteral("name"), credentials.name}, {QStringLiteral("password"), credentials.password}};
    auto reply = co_await call(serverUrl(QStringLiteral("/_session")), "POST", body, false);
    if (!reply)
        co_return unexpected(reply.error());
    co_return {};
}

QCoro::Task<Expected<void, LeaderboardError>> CouchDBClient::signUp(const CouchDBCredentials& credentials)
{
    const QString id = QStringLiteral("org.couchdb.user:") + credentials.name;
    QJsonObject body{{QStringLiteral("_id"), id},
                     {QStringLiteral("name"), credentials.name},
                     {QStringLiteral("password"), credentials.password},
                     {QStringLiteral("roles"), QJsonArray()},
                     {QStringLiteral("type"), QStringLiteral("user")}};
    auto reply = co_await call(serverUrl(QStringLiteral("/_users/") + encodedSegment(id)), "PUT", body, false);
    if (!reply)
        co_return unexpected(reply.error());
    co_return {};
}

QCoro::Task<Expected<std::optional<QJsonObject>, LeaderboardError>> CouchDBClient::document(const QString& id)
{
    auto reply = co_await call(databaseUrl(QLatin1Char('/') + encodedSegment(id)), "GET", {});
    if (!reply) {
        if (reply.error().kind() == LeaderboardError::Kind::unknownItem)
            co_return std::optional<QJsonObject>();
        co_return unexpected(reply.error());
    }
    auto o = objectBody(*reply);
    if (!o)
        co_return unexpected(LeaderboardError(LeaderboardError::Kind::invalidResponse, reply->status));
    co_return o;
}

QCoro::Task<Expected<QString, LeaderboardError>> CouchDBClient::putDocument(const QString& id, const QJsonObject& doc)
{
    auto reply = co_await call(databaseUrl(QLatin1Char('/') + encodedSegment(id)), "PUT", doc);
    if (!reply)
        co_return unexpected(reply.error());
    const auto o = objectBody(*reply);
    if (!o || !o->value(QLatin1String("rev")).isString())
        co_return unexpected(LeaderboardError(LeaderboardError::Kind::invalidResponse, reply->status));
    co_return o->value(QLatin1String("rev")).toString();
}

QCoro::Task<Expected<void, LeaderboardError>> CouchDBClient::deleteDocument(const QString& id, const QString& rev)
{
    QUrl url = databaseUrl(QLatin1Char('/') + encodedSegment(id));
    url.setQuery(QStringLiteral("rev=") + encodedSegment(rev));
    auto reply = co_await call(url, "DELETE", {});
    if (!reply)
        co_return unexpected(reply.error());
    co_return {};
}

QCoro::Task<Expected<CouchDBClient::FindResult, LeaderboardError>> CouchDBClient::find(const FindQuery& query)
{
    QJsonObject body{{QStringLiteral("selector"), query.selector}, {QStringLiteral("limit"), query.limit}};
    if (!query.sort.isEmpty())
        body.insert(QStringLiteral("sort"), query.sort);
    if (!query.fields.isEmpty())
        body.insert(QStringLiteral("fields"), QJsonArray::fromStringList(query.fields));
    if (!query.useIndex.isEmpty())
        body.insert(QStringLiteral("use_index"), query.useIndex);
    if (query.bookmark)
        body.insert(QStringLiteral("bookmark"), *query.bookmark);
    else if (query.skip > 0)
        body.insert(QStringLiteral("skip"), query.skip);
    auto reply = co_await call(databaseUrl(QStringLiteral("/_find")), "POST", body);
    if (!reply)
        co_return unexpected(reply.error());
    const auto o = objectBody(*reply);
    if (!o || !o->value(QLatin1String("docs")).isArray())
        co_return unexpected(LeaderboardError(LeaderboardError::Kind::invalidResponse, reply->status));
    FindResult result;
    result.docs = o->value(QLatin1String("docs")).toArray();
    const QJsonValue bookmark = o->value(QLatin1String("bookmark"));
    // "nil" is what CouchDB sends when there is nothing to continue from.
    if (bookmark.isString() && !bookmark.toString().isEmpty() && bookmark.toString() != QLatin1String("nil"))
        result.bookmark = bookmark.toString();
    co_return result;
}

QCoro::Task<Expected<std::optional<qint64>, LeaderboardError>> CouchDBClient::viewCount(const QString& design,
                                                                                      const QString& view,
                                                                                      qint64 startKey)
{
    QUrl url = databaseUrl(QStringLiteral("/_design/") + encodedSegment(design) + QStringLiteral("/_view/") +
                           encodedSegment(view));
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("startkey"), QString::number(startKey));
    query.addQueryItem(QStringLiteral("reduce"), QStringLiteral("true"));
    url.setQuery(query);
    auto reply = co_await call(url, "GET", {});
    if (!reply) {
        if (reply.error().kind() == LeaderboardError::Kind::unknownItem)
            co_return std::optional<qint64>();
        co_return unexpected(reply.error());
    }
    const auto o = objectBody(*reply);
    const QJsonValue rows = o ? o->value(QLatin1String("rows")) : QJsonValue();
    if (!rows.isArray())
        co_return unexpected(LeaderboardError(LeaderboardError::Kind::invalidResponse, reply->status));
    // No row at all: nothing in the range.
    if (rows.toArray().isEmpty())
        co_return std::optional<qint64>(0);
    const QJsonValue value = rows.toArray().first().toObject().value(QLatin1String("value"));
    const double count = value.toDouble(-1);
    if (!value.isDouble() || count < 0 || count > 9007199254740991.0 || count != double(qint64(count)))
        co_return unexpected(LeaderboardError(LeaderboardError::Kind::invalidResponse, reply->status));
    co_return std::optional<qint64>(qint64(count));
}
