#include "UpdateChecker.h"

#include "store/Settings.h"

#include <QCoroNetworkReply>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkReply>
#include <QPointer>

UpdateChecker::UpdateChecker(Settings& settings, QString currentVersion, QObject* parent)
    : QObject(parent), m_settings(settings), m_currentVersion(std::move(currentVersion))
{
    connect(&m_settings, &Settings::changed, this, [this](const QString& key) {
        if (key == QLatin1String(kFeedKey))
            Q_EMIT canCheckChanged(canCheck());
    });
}

std::optional<QUrl> UpdateChecker::feedURL() const
{
    const QUrl url(m_settings.stringValue(QString::fromLatin1(kFeedKey)).value_or(QString()).trimmed(),
                   QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty())
        return std::nullopt;
    const bool local = url.host() == QLatin1String("127.0.0.1") || url.host() == QLatin1String("localhost");
    if (url.scheme() == QLatin1String("https") || (url.scheme() == QLatin1String("http") && local))
        return url;
    return std::nullopt;
}

void UpdateChecker::setChecking(bool checking)
{
    if (m_checking == checking)
        return;
    m_checking = checking;
    Q_EMIT canCheckChanged(canCheck());
}

UpdateChecker::Result UpdateChecker::parseFeed(const QByteArray& body, const QString& currentVersion)
{
    const Failed unreadable{QStringLiteral("La réponse du serveur de mises à jour est illisible.")};
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return unreadable;
    const QJsonObject o = doc.object();
    const QString version = o.value(QLatin1String("version")).toString().trimmed();
    qsizetype suffix = 0;
    const QVersionNumber offered = QVersionNumber::fromString(version, &suffix);
    if (offered.isNull() || suffix != version.size())
        return unreadable;
    if (offered <= QVersionNumber::fromString(currentVersion))
        return UpToDate{};
    QUrl url(o.value(QLatin1String("url")).toString());
    // Only web pages are offered to open.
    if (url.scheme() != QLatin1String("https"))
        url.clear();
    return Available{version, url, o.value(QLatin1String("notes")).toString()};
}

QCoro::Task<UpdateChecker::Result> UpdateChecker::check()
{
    const auto url = feedURL();
    if (!url || m_checking)
        co_return Failed{QStringLiteral("La recherche de mises à jour n'est pas possible.")};
    setChecking(true);
    QNetworkRequest request(*url);
    request.setTransferTimeout(15000);
    request.setHeader(QNetworkRequest::UserAgentHeader, QString(QStringLiteral("Ovra/") + m_currentVersion));
    QPointer<UpdateChecker> self(this);
    std::unique_ptr<QNetworkReply> reply(m_network.get(request));
    co_await reply.get();
    if (!self)
        co_return Failed{};
    setChecking(false);
    if (reply->error() != QNetworkReply::NoError)
        co_return Failed{QStringLiteral("Impossible de joindre le serveur de mises à jour : ") + reply->errorString()};
    // A feed is a few hundred bytes; anything huge is not one.
    co_return parseFeed(reply->read(1 << 20), m_currentVersion);
}
