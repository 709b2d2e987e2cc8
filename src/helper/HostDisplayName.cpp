#include "HostDisplayName.h"

#include <QFile>
#include <QSysInfo>

namespace HostDisplayName {

namespace {

// Undoes the quoting of one shell-style value: "…", '…' or backslash escapes.
QString unquote(const QString& raw)
{
    QString out;
    QChar quote;
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const QChar c = raw[i];
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
            else if (c == u'\\' && quote == u'"' && i + 1 < raw.size())
                out += raw[++i];
            else
                out += c;
        } else if (c == u'"' || c == u'\'') {
            quote = c;
        } else if (c == u'\\' && i + 1 < raw.size()) {
            out += raw[++i];
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace

QString prettyName(const QString& machineInfoPath)
{
    QFile f(machineInfoPath);
    if (!f.open(QIODevice::ReadOnly) || f.size() > 65536)
        return {};
    QString name;
    for (const QByteArray& line : f.readAll().split('\n')) {
        const QString l = QString::fromUtf8(line).trimmed();
        if (l.startsWith(QLatin1String("PRETTY_HOSTNAME=")))
            name = unquote(l.mid(16)).trimmed();
    }
    return name;
}

QString read()
{
    const QString pretty = prettyName();
    return pretty.isEmpty() ? QSysInfo::machineHostName().trimmed() : pretty;
}

} // namespace HostDisplayName
