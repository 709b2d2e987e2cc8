#pragma once
// Locale identifiers in BCP-47 form, so that "en_us", "en-US" and "EN-us" compare equal.
#include <QLocale>
#include <QString>
#include <QRegularExpression>
#include <QStringList>

namespace Bcp47 {

// "fr_CA" → "fr-CA", "zh_hant_tw" → "zh-Hant-TW"; the POSIX suffixes (".UTF-8", "@euro") are dropped.
inline QString normalize(QString id)
{
    id = id.section(QLatin1Char('.'), 0, 0).section(QLatin1Char('@'), 0, 0).trimmed();
    QStringList parts = id.split(QRegularExpression(QStringLiteral("[-_]")), Qt::SkipEmptyParts);
    for (int i = 0; i < parts.size(); ++i) {
        QString& p = parts[i];
        if (i == 0)
            p = p.toLower();
        else if (p.size() == 2 && p.at(0).isLetter())
            p = p.toUpper();
        else if (p.size() == 4 && p.at(0).isLetter())
            p = p.left(1).toUpper() + p.mid(1).toLower();
        else
            p = p.toLower();
    }
    return parts.join(QLatin1Char('-'));
}

inline QString language(const QString& id)
{
    return normalize(id).section(QLatin1Char('-'), 0, 0);
}

// The installed identifier for `wanted`: the same identifier in BCP-47 form, or for a bare
// language ("en") the first installed locale of that language; empty when none fits.
inline QString match(const QStringList& installed, const QString& wanted)
{
    const QString w = normalize(wanted);
    if (w.isEmpty())
        return {};
    for (const QString& l : installed)
        if (normalize(l).compare(w, Qt::CaseInsensitive) == 0)
            return l;
    if (!w.contains(QLatin1Char('-'))) {
        for (const QString& l : installed)
            if (language(l) == w)
                return l;
    }
    return {};
}

// "auto" is the system's locale; the C and POSIX locales (LANG=C.UTF-8, Debian's default) are
// English. Any other identifier is kept as it is.
inline QString resolveAuto(const QString& id, const QString& systemName = QLocale::system().name())
{
    if (id != QLatin1String("auto"))
        return id;
    if (systemName == QLatin1String("C") || systemName == QLatin1String("POSIX") || systemName.isEmpty())
        return QStringLiteral("en-US");
    return systemName;
}

} // namespace Bcp47
