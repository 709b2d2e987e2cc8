#include "AtspiApplicationId.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

namespace {
// Programs that run another program's code: their file name says nothing of the application.
bool isRunner(const QString& fileName)
{
    static const QRegularExpression runners(
        QStringLiteral("^(python[0-9.]*|perl[0-9.]*|ruby[0-9.]*|node|nodejs|gjs|gjs-console|java|bash|sh|dash|"
                       "electron[0-9]*|ld-linux.*|bwrap|wine.*)$"));
    return runners.match(fileName).hasMatch();
}

QString normalised(QString s)
{
    s = s.trimmed().toLower();
    if (s.endsWith(QLatin1String(".desktop")))
        s.chop(8);
    s.replace(QLatin1Char(' '), QLatin1Char('-'));
    return s;
}
} // namespace

QString AtspiApplicationId::identifierOf(const QString& executablePath, const QString& accessibleName)
{
    QString file = QFileInfo(executablePath).fileName().toLower();
    // A replaced binary shows as "name (deleted)".
    if (file.endsWith(QLatin1String(" (deleted)")))
        file.chop(10);
    if (!file.isEmpty() && !isRunner(file))
        return file;
    return normalised(accessibleName);
}

QString AtspiApplicationId::executableOf(uint processId)
{
    if (processId == 0)
        return {};
    return QFileInfo(QStringLiteral("/proc/%1/exe").arg(processId)).symLinkTarget();
}

QStringList AtspiApplicationId::aliases(const QString& identifierOrName)
{
    const QString id = normalised(identifierOrName);
    if (id.isEmpty())
        return {};
    QStringList out{id};
    // Reverse-DNS ids (org.mozilla.firefox) end with the program's name.
    if (id.count(QLatin1Char('.')) >= 2) {
        const QString last = id.section(QLatin1Char('.'), -1);
        if (!last.isEmpty())
            out << last;
    }
    // Release channels and packaging suffixes name the same browser.
    static const QRegularExpression suffix(QStringLiteral("-(esr|stable|beta|dev|nightly|unstable|browser|bin)$"));
    for (qsizetype i = 0, n = out.size(); i < n; ++i) {
        QString bare = out.at(i);
        bare.remove(suffix);
        if (!bare.isEmpty() && !out.contains(bare))
            out << bare;
    }
    return out;
}

bool AtspiApplicationId::matches(const QString& applicationId, const QString& accessibleName,
                                 const QString& executablePath)
{
    const QStringList wanted = aliases(applicationId);
    if (wanted.isEmpty())
        return false;
    QSet<QString> offered;
    for (const QString& a : aliases(accessibleName))
        offered.insert(a);
    const QString file = QFileInfo(executablePath).fileName();
    if (!isRunner(file.toLower()))
        for (const QString& a : aliases(file))
            offered.insert(a);
    for (const QString& w : wanted)
        if (offered.contains(w))
            return true;
    return false;
}
