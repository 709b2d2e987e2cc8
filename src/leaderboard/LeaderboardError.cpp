#include "LeaderboardError.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>

const QString LeaderboardError::kNoNetworkMessage =
    QStringLiteral("Pas de réseau — le classement se rechargera à la prochaine ouverture.");
const QString LeaderboardError::kNotSignedInMessage =
    QStringLiteral("Connecte-toi à iCloud (Réglages) pour participer au classement.");
const QString LeaderboardError::kUnavailableMessage =
    QStringLiteral("Classement indisponible pour l'instant — réessaie plus tard.");
const QString LeaderboardError::kNotConfiguredMessage =
    QStringLiteral("Aucun serveur de classement n'est configuré (réglage « ovra.mac.leaderboardURL »).");
const QString LeaderboardError::kWrongPasswordMessage =
    QStringLiteral("Ce nom est déjà pris, ou le mot de passe ne correspond pas.");
const QString LeaderboardError::kInvalidNameMessage =
    QStringLiteral("Choisis un nom d'au plus 64 caractères, sans « : », et un mot de passe non vide.");

namespace {

std::optional<double> retryAfter(const QList<QPair<QByteArray, QByteArray>>& headers)
{
    for (const auto& [name, value] : headers) {
        if (name.compare("Retry-After", Qt::CaseInsensitive) != 0)
            continue;
        bool ok = false;
        double seconds = value.trimmed().toDouble(&ok);
        if (!ok) {
            // The other form is an HTTP date ("Wed, 21 Oct 2026 07:28:00 GMT"): the wait until then.
            const QDateTime until = QDateTime::fromString(QString::fromLatin1(value.trimmed()), Qt::RFC2822Date);
            ok = until.isValid();
            if (ok)
                seconds = double(QDateTime::currentDateTimeUtc().msecsTo(until)) / 1000.0;
        }
        return ok && seconds > 0 ? std::optional<double>(seconds) : std::nullopt;
    }
    return std::nullopt;
}

} // namespace

LeaderboardError LeaderboardError::fromTransport(const APIError& error)
{
    using K = Kind;
    const auto url = error.urlError();
    if (!url) {
        // No HTTP status came back: the reply was lost or was not HTTP at all.
        if (error.kind() == APIError::Kind::networkTimeout)
            return LeaderboardError(K::networkFailure, 0, std::nullopt, error.errorDescription());
        return LeaderboardError(K::serverResponseLost, 0, std::nullopt, error.errorDescription());
    }
    using C = URLError::Code;
    switch (url->code) {
    case C::cancelled:
        return LeaderboardError(K::operationCancelled);
    case C::cannotConnectToHost: // refused
    case C::cannotFindHost:
    case C::dnsLookupFailed:
    case C::notConnectedToInternet:
    case C::dataNotAllowed:
    case C::internationalRoamingOff:
        return LeaderboardError(K::networkUnavailable, 0, std::nullopt, url->description());
    case C::timedOut:
    case C::networkConnectionLost: // reset
        return LeaderboardError(K::networkFailure, 0, std::nullopt, url->description());
    default:
        return LeaderboardError(K::serverRejected, 0, std::nullopt, url->description());
    }
}

LeaderboardError LeaderboardError::fromStatus(int status, const QList<QPair<QByteArray, QByteArray>>& headers,
                                              const QByteArray& body)
{
    using K = Kind;
    // CouchDB explains itself in {"error": ..., "reason": ...}; other servers send anything.
    QString detail;
    const QJsonObject o = QJsonDocument::fromJson(body).object();
    if (!o.isEmpty())
        detail = QString(o.value(QLatin1String("error")).toString() + QLatin1String(": ") +
                         o.value(QLatin1String("reason")).toString())
                     .left(200);
    switch (status) {
    case 401: return LeaderboardError(K::notAuthenticated, status, std::nullopt, detail);
    case 403: return LeaderboardError(K::permissionFailure, status, std::nullopt, detail);
    case 404: return LeaderboardError(K::unknownItem, status, std::nullopt, detail);
    case 409: return LeaderboardError(K::serverRecordChanged, status, std::nullopt, detail);
    case 429: return LeaderboardError(K::requestRateLimited, status, retryAfter(headers), detail);
    case 502:
    case 503:
    case 504: return LeaderboardError(K::serviceUnavailable, status, retryAfter(headers), detail);
    default: return LeaderboardError(K::serverRejected, status, std::nullopt, detail);
    }
}

bool LeaderboardError::isRetryable() const
{
    switch (m_kind) {
    case Kind::networkUnavailable:
    case Kind::networkFailure:
    case Kind::serviceUnavailable:
    case Kind::requestRateLimited:
    case Kind::serverResponseLost:
        return true;
    default:
        return false;
    }
}

QString LeaderboardError::description() const
{
    QString name;
    switch (m_kind) {
    case Kind::networkUnavailable: name = QStringLiteral("network unavailable"); break;
    case Kind::networkFailure: name = QStringLiteral("network failure"); break;
    case Kind::serviceUnavailable: name = QStringLiteral("service unavailable"); break;
    case Kind::requestRateLimited: name = QStringLiteral("request rate limited"); break;
    case Kind::serverResponseLost: name = QStringLiteral("server response lost"); break;
    case Kind::operationCancelled: name = QStringLiteral("operation cancelled"); break;
    case Kind::notConfigured: name = QStringLiteral("no leaderboard server configured"); break;
    case Kind::notAuthenticated: name = QStringLiteral("not authenticated"); break;
    case Kind::wrongPassword: name = QStringLiteral("name taken or wrong password"); break;
    case Kind::invalidName: name = QStringLiteral("unusable name or password"); break;
    case Kind::secretStoreFailed: name = QStringLiteral("secret store refused the password"); break;
    case Kind::permissionFailure: name = QStringLiteral("permission failure"); break;
    case Kind::unknownItem: name = QStringLiteral("unknown item"); break;
    case Kind::serverRecordChanged: name = QStringLiteral("server record changed"); break;
    case Kind::invalidResponse: name = QStringLiteral("invalid response"); break;
    case Kind::serverRejected: name = QStringLiteral("server rejected the request"); break;
    }
    if (m_status)
        name += QStringLiteral(" (HTTP %1)").arg(m_status);
    if (m_retryAfterSeconds)
        name += QStringLiteral(" retry after %1 s").arg(*m_retryAfterSeconds);
    if (!m_detail.isEmpty())
        name += QStringLiteral(" — ") + m_detail;
    return name;
}

QString LeaderboardError::userMessage() const
{
    switch (m_kind) {
    case Kind::networkUnavailable:
    case Kind::networkFailure:
        return kNoNetworkMessage;
    case Kind::notAuthenticated:
        return kNotSignedInMessage;
    case Kind::notConfigured:
        return kNotConfiguredMessage;
    case Kind::wrongPassword:
        return kWrongPasswordMessage;
    case Kind::invalidName:
        return kInvalidNameMessage;
    case Kind::secretStoreFailed:
        return QStringLiteral("Le mot de passe n'a pas pu être enregistré dans le trousseau : ") + m_detail;
    default:
        return kUnavailableMessage;
    }
}
