#pragma once
// What can go wrong when talking to the leaderboard database, as typed values: each carries the
// text the journal shows and maps onto one of the three messages the user sees.
#include "network/APIError.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <optional>

class LeaderboardError
{
public:
    enum class Kind {
        // Retried (see LeaderboardRetry).
        networkUnavailable,
        networkFailure,
        serviceUnavailable,
        requestRateLimited,
        serverResponseLost,
        // Final.
        operationCancelled,
        notConfigured,
        notAuthenticated,
        wrongPassword,
        invalidName,
        secretStoreFailed,
        permissionFailure,
        unknownItem,
        serverRecordChanged,
        invalidResponse,
        serverRejected,
    };

    LeaderboardError() = default;
    explicit LeaderboardError(Kind kind, int status = 0, std::optional<double> retryAfter = std::nullopt,
                              QString detail = {})
        : m_kind(kind), m_status(status), m_retryAfterSeconds(retryAfter), m_detail(std::move(detail))
    {
    }

    // The one table from HTTP outcomes to database errors.
    static LeaderboardError fromTransport(const APIError& error);
    static LeaderboardError fromStatus(int status, const QList<QPair<QByteArray, QByteArray>>& headers,
                                       const QByteArray& body);

    Kind kind() const { return m_kind; }
    int status() const { return m_status; }
    // The server's own delay (Retry-After), when it gave one.
    std::optional<double> retryAfterSeconds() const { return m_retryAfterSeconds; }
    bool isRetryable() const;
    bool isCancellation() const { return m_kind == Kind::operationCancelled; }

    // For the journal.
    QString description() const;
    // What the section shows when the operation failed for good.
    QString userMessage() const;

    bool operator==(const LeaderboardError&) const = default;

    static const QString kNoNetworkMessage;
    static const QString kNotSignedInMessage;
    static const QString kUnavailableMessage;
    static const QString kNotConfiguredMessage;
    static const QString kWrongPasswordMessage;
    static const QString kInvalidNameMessage;

private:
    Kind m_kind = Kind::invalidResponse;
    int m_status = 0;
    std::optional<double> m_retryAfterSeconds;
    QString m_detail;
};
