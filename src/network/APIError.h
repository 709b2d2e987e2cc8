#pragma once
// The error values of every network and AI call. Transport failures keep the URL-error code
// they map to, so fallback and offline logic can classify them; every value carries its
// user-facing message.
#include <QString>
#include <optional>

// A transport failure, with the codes the rest of the program reasons about.
struct URLError
{
    enum class Code {
        unknown = -1,
        cancelled = -999,
        badURL = -1000,
        timedOut = -1001,
        cannotFindHost = -1003,
        cannotConnectToHost = -1004,
        networkConnectionLost = -1005,
        dnsLookupFailed = -1006,
        httpTooManyRedirects = -1007,
        notConnectedToInternet = -1009,
        internationalRoamingOff = -1018,
        dataNotAllowed = -1020,
        secureConnectionFailed = -1200,
    };
    Code code = Code::unknown;

    // The platform's own (localised) description.
    QString description() const;
    int rawCode() const { return static_cast<int>(code); }
};

class APIError
{
public:
    enum class Kind {
        missingAPIKey,
        serverError,
        networkTimeout,
        invalidResponse,
        decodingFailed,
        microphoneDenied,
        noRecording,
        // A transport failure (see URLError), passed on unchanged.
        transport,
    };

    static APIError missingAPIKey(const QString& providerName);
    static APIError serverError(int status, std::optional<QString> message = std::nullopt);
    static APIError networkTimeout() { return APIError(Kind::networkTimeout); }
    static APIError invalidResponse() { return APIError(Kind::invalidResponse); }
    static APIError decodingFailed() { return APIError(Kind::decodingFailed); }
    static APIError microphoneDenied() { return APIError(Kind::microphoneDenied); }
    static APIError noRecording() { return APIError(Kind::noRecording); }
    static APIError transport(URLError::Code code);

    APIError() = default;
    Kind kind() const { return m_kind; }
    // missingAPIKey: the provider's name.
    const QString& providerName() const { return m_text; }
    // serverError only.
    int status() const { return m_status; }
    const std::optional<QString>& message() const { return m_message; }
    // transport only.
    std::optional<URLError> urlError() const;

    // The user-facing message.
    QString errorDescription() const;

    bool operator==(const APIError& o) const = default;

private:
    explicit APIError(Kind kind) : m_kind(kind) {}
    Kind m_kind = Kind::invalidResponse;
    QString m_text;
    int m_status = 0;
    std::optional<QString> m_message;
    URLError::Code m_urlCode = URLError::Code::unknown;
};

// The connectivity test used by the transcription fallback and the offline queue: a transport
// failure that means the service cannot be reached.
bool isUnreachableError(const APIError& error);
// A cancelled transfer: never answered by a fallback.
bool isCancellationError(const APIError& error);
