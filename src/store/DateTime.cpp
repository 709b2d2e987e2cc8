#include "DateTime.h"

#include <QRegularExpression>

namespace DateTime {

QString toIsoMillis(const QDateTime& d)
{
    return d.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ"));
}

std::optional<QDateTime> fromIso(const QString& s)
{
    // Internet date-time only: a space for the T, or a missing zone, is refused.
    static const QRegularExpression form(QStringLiteral(
        R"(^\d{4}-\d{2}-\d{2}T\d{2}:\d{2}:\d{2}(\.\d+)?(Z|[+-]\d{2}:\d{2})$)"));
    if (!form.match(s).hasMatch())
        return std::nullopt;
    QDateTime d = QDateTime::fromString(s, Qt::ISODateWithMs);
    if (!d.isValid())
        return std::nullopt;
    return d.toUTC();
}

} // namespace DateTime
