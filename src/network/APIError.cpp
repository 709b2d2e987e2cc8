#include "APIError.h"

QString URLError::description() const
{
    switch (code) {
    case Code::cancelled:
        return QStringLiteral("annulé");
    case Code::badURL:
        return QStringLiteral("URL non valide.");
    case Code::timedOut:
        return QStringLiteral("La requête a expiré.");
    case Code::cannotFindHost:
        return QStringLiteral("Un serveur avec le nom d’hôte indiqué est introuvable.");
    case Code::cannotConnectToHost:
        return QStringLiteral("Impossible de se connecter au serveur.");
    case Code::networkConnectionLost:
        return QStringLiteral("La connexion réseau a été perdue.");
    case Code::dnsLookupFailed:
        return QStringLiteral("La résolution du nom d’hôte a échoué.");
    case Code::httpTooManyRedirects:
        return QStringLiteral("Trop de redirections sont survenues.");
    case Code::notConnectedToInternet:
        return QStringLiteral("La connexion Internet semble être désactivée.");
    case Code::internationalRoamingOff:
        return QStringLiteral("L’itinérance internationale est désactivée.");
    case Code::dataNotAllowed:
        return QStringLiteral("Les données cellulaires ne sont pas autorisées.");
    case Code::secureConnectionFailed:
        return QStringLiteral("Une erreur SSL s’est produite et une connexion sécurisée au serveur ne peut pas être "
                              "établie.");
    case Code::unknown:
        break;
    }
    return QStringLiteral("Une erreur réseau inconnue s’est produite.");
}

APIError APIError::missingAPIKey(const QString& providerName)
{
    APIError e(Kind::missingAPIKey);
    e.m_text = providerName;
    return e;
}

APIError APIError::serverError(int status, std::optional<QString> message)
{
    APIError e(Kind::serverError);
    e.m_status = status;
    e.m_message = std::move(message);
    return e;
}

APIError APIError::transport(URLError::Code code)
{
    APIError e(Kind::transport);
    e.m_urlCode = code;
    return e;
}

std::optional<URLError> APIError::urlError() const
{
    if (m_kind != Kind::transport)
        return std::nullopt;
    return URLError{m_urlCode};
}

QString APIError::errorDescription() const
{
    switch (m_kind) {
    case Kind::missingAPIKey:
        return QStringLiteral("Add your ") + m_text + QStringLiteral(" API key in the Models tab.");
    case Kind::serverError:
        if (m_message)
            return QStringLiteral("Service error (") + QString::number(m_status) + QStringLiteral("): ") + *m_message;
        return QStringLiteral("Service error (") + QString::number(m_status) + QStringLiteral("). Try again later.");
    case Kind::networkTimeout:
        return QStringLiteral("The request timed out. Check your connection and try again.");
    case Kind::invalidResponse:
        return QStringLiteral("The server returned an unexpected response.");
    case Kind::decodingFailed:
        return QStringLiteral("Could not read the response from the server.");
    case Kind::microphoneDenied:
        return QStringLiteral("Microphone access was denied. Enable it in Settings → Ovra.");
    case Kind::noRecording:
        return QStringLiteral("No audio was recorded.");
    case Kind::transport:
        return URLError{m_urlCode}.description();
    }
    return {};
}

bool isUnreachableError(const APIError& error)
{
    const auto url = error.urlError();
    if (!url)
        return false;
    using C = URLError::Code;
    switch (url->code) {
    case C::notConnectedToInternet:
    case C::networkConnectionLost:
    case C::timedOut:
    case C::cannotConnectToHost:
    case C::cannotFindHost:
    case C::dnsLookupFailed:
    case C::dataNotAllowed:
    case C::internationalRoamingOff:
        return true;
    default:
        return false;
    }
}

bool isCancellationError(const APIError& error)
{
    const auto url = error.urlError();
    return url && url->code == URLError::Code::cancelled;
}
