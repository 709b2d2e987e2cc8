#pragma once
// The few calls of CouchDB's HTTP API the leaderboard needs: documents, Mango queries, users
// and sessions. One attempt per call; retrying is the caller's business. Requests authenticate
// with HTTP Basic, so no session cookie is shared between accounts.
#include "LeaderboardError.h"
#include "store/Expected.h"

#include <QCoroTask>
#include <QJsonArray>
#include <QJsonObject>
#include <QStringList>
#include <QUrl>
#include <optional>

class APINetworkClient;
struct HTTPResponse;

// "https://host[:port][/prefix]/database": the server root and the database name.
struct CouchDBLocation
{
    QUrl server;
    QString database;

    static std::optional<CouchDBLocation> parse(const QString& url);
    QString text() const;
};

struct CouchDBCredentials
{
    QString name;
    QString password;
};

class CouchDBClient
{
public:
    struct FindQuery
    {
        QJsonObject selector;
        QJsonArray sort;
        int limit = 25;
        // CouchDB's cursor; servers that give none page by skip.
        std::optional<QString> bookmark;
        int skip = 0;
        QStringList fields;
        QString useIndex;
    };
    struct FindResult
    {
        QJsonArray docs;
        std::optional<QString> bookmark;
    };

    CouchDBClient(APINetworkClient& network, CouchDBLocation location);

    const CouchDBLocation& location() const { return m_location; }
    void setCredentials(std::optional<CouchDBCredentials> credentials) { m_credentials = std::move(credentials); }
    const std::optional<CouchDBCredentials>& credentials() const { return m_credentials; }

    // The user the server sees behind the current credentials; notAuthenticated when none.
    QCoro::Task<Expected<QString, LeaderboardError>> sessionUserName();
    // Checks a name and password (POST /_session); notAuthenticated when they do not match.
    QCoro::Task<Expected<void, LeaderboardError>> signIn(const CouchDBCredentials& credentials);
    // Creates the account in _users; serverRecordChanged when the name is taken.
    QCoro::Task<Expected<void, LeaderboardError>> signUp(const CouchDBCredentials& credentials);

    // None when the document does not exist.
    QCoro::Task<Expected<std::optional<QJsonObject>, LeaderboardError>> document(const QString& id);
    // Creates or updates (the document carries its "_rev" for an update); gives the new revision.
    QCoro::Task<Expected<QString, LeaderboardError>> putDocument(const QString& id, const QJsonObject& doc);
    QCoro::Task<Expected<void, LeaderboardError>> deleteDocument(const QString& id, const QString& rev);
    QCoro::Task<Expected<FindResult, LeaderboardError>> find(const FindQuery& query);
    // The rows of a view with the built-in "_count" reduce whose key is `startKey` or more; none
    // when the database has no such view.
    QCoro::Task<Expected<std::optional<qint64>, LeaderboardError>> viewCount(const QString& design, const QString& view,
                                                                             qint64 startKey);

private:
    QUrl serverUrl(const QString& path) const;
    QUrl databaseUrl(const QString& path) const;
    QCoro::Task<Expected<HTTPResponse, LeaderboardError>> call(QUrl url, QByteArray verb, QJsonObject body,
                                                              bool authenticate = true);
    static std::optional<QJsonObject> objectBody(const HTTPResponse& response);

    APINetworkClient* m_network;
    CouchDBLocation m_location;
    std::optional<CouchDBCredentials> m_credentials;
};
