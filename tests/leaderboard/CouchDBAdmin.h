#pragma once
// The server admin of tests/rigs/with-couchdb.sh: fresh leaderboard databases set up by the
// shipped server/couchdb/install.sh, and records written around the validation.
#include "AwaitTask.h"
#include "network/APINetworkClient.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QUrl>
#include <optional>

inline QString serverUrl()
{
    return qEnvironmentVariable("OVRA_COUCHDB_URL");
}

class Admin
{
public:
    Admin()
    {
        const QUrl admin(qEnvironmentVariable("OVRA_COUCHDB_ADMIN_URL"));
        m_auth = "Basic " + (admin.userName() + ':' + admin.password()).toUtf8().toBase64();
    }

    // A fresh database with the shipped security object, validation and index.
    QString createDatabase(const QString& name)
    {
        QProcess install;
        install.setProcessChannelMode(QProcess::MergedChannels);
        install.start(QStringLiteral(OVRA_SOURCE_DIR "/server/couchdb/install.sh"),
                      {qEnvironmentVariable("OVRA_COUCHDB_ADMIN_URL"), name});
        if (!install.waitForFinished(60000) || install.exitCode() != 0)
            qWarning() << "install.sh:" << install.readAll();
        return serverUrl() + '/' + name;
    }

    // Written as admin: no validation, so records a client could never write are possible.
    bool bulk(const QString& database, const QJsonArray& docs)
    {
        const auto reply = send("POST", database + "/_bulk_docs", QJsonObject{{"docs", docs}});
        return reply && reply->isSuccess();
    }

    std::optional<QJsonObject> document(const QString& database, const QString& id)
    {
        const auto reply = send("GET", database + '/' + id, {});
        if (!reply || reply->status != 200)
            return std::nullopt;
        return QJsonDocument::fromJson(reply->body).object();
    }

private:
    std::optional<HTTPResponse> send(const QByteArray& verb, const QString& path, const QJsonObject& body)
    {
        QNetworkRequest request(QUrl(serverUrl() + '/' + path));
        request.setRawHeader("Authorization", m_auth);
        request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
        APINetworkClient::Body payload;
        if (!body.isEmpty())
            payload.bytes = QJsonDocument(body).toJson(QJsonDocument::Compact);
        auto reply = awaitTask(m_network.send(APINetworkClient::Session::general, request, verb, payload));
        if (!reply)
            return std::nullopt;
        return *reply;
    }

    APINetworkClient m_network;
    QByteArray m_auth;
};

// Records of other users, `topWords` first and ten fewer each.
inline QJsonArray others(int count, qint64 topWords)
{
    QJsonArray docs;
    for (int i = 0; i < count; ++i)
        docs.append(QJsonObject{{"_id", QString("classement-autre%1").arg(i)},
                                {"type", "OvraClassement"},
                                {"pseudo", QString("Autre %1").arg(i)},
                                {"mots", topWords - i * 10},
                                {"majLe", "2026-12-01T10:00:00.000Z"}});
    return docs;
}
