#pragma once
// Record dates: wall-clock instants stored as seconds since 2001-01-01 UTC.
#include <QDateTime>
#include <QString>
#include <QUuid>
#include <optional>

namespace DateTime {
constexpr qint64 kReferenceEpochMSecs = 978307200000LL; // 2001-01-01T00:00:00Z

inline double toReferenceSeconds(const QDateTime& d)
{
    return double(d.toMSecsSinceEpoch() - kReferenceEpochMSecs) / 1000.0;
}
inline QDateTime fromReferenceSeconds(double s)
{
    return QDateTime::fromMSecsSinceEpoch(qint64(s * 1000.0 + (s >= 0 ? 0.5 : -0.5)) + kReferenceEpochMSecs,
                                          Qt::UTC);
}
inline QDateTime now() { return QDateTime::currentDateTimeUtc(); }

// "2026-03-04T17:05:09.123Z": the exchange form of dates.
QString toIsoMillis(const QDateTime& d);
// Accepts the form with and without fractional seconds; nothing for anything else.
std::optional<QDateTime> fromIso(const QString& s);
} // namespace DateTime

// Canonical upper-case 8-4-4-4-12 text of a UUID.
inline QString uuidText(const QUuid& u) { return u.toString(QUuid::WithoutBraces).toUpper(); }
