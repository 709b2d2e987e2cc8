#include "XdgAutostartEntry.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>

namespace {
// Desktop entry Exec quoting: arguments with reserved characters go in double quotes, with
// ", `, $ and \ escaped; % is doubled (field codes).
QString quoted(QString arg)
{
    arg.replace(QLatin1Char('\n'), QLatin1Char(' '));
    arg.replace(QLatin1String("%"), QLatin1String("%%")); // field codes
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    if (std::none_of(arg.begin(), arg.end(), [](QChar c) { return reserved.contains(c); }))
        return arg;
    QString out = QStringLiteral("\"");
    for (QChar c : arg) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            out += QLatin1Char('\\');
        out += c;
    }
    // The entry format itself unescapes backslashes once more.
    return out.replace(QLatin1String("\\"), QLatin1String("\\\\")) + QLatin1Char('"');
}
} // namespace

XdgAutostartEntry::XdgAutostartEntry(QString folder, QString program)
    : m_folder(std::move(folder)), m_program(std::move(program))
{
    if (m_folder.isEmpty())
        m_folder = QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
                       .filePath(QStringLiteral("autostart"));
    if (m_program.isEmpty())
        m_program = QCoreApplication::applicationFilePath();
}

QString XdgAutostartEntry::path() const { return QDir(m_folder).filePath(QStringLiteral("ovra.desktop")); }

QByteArray XdgAutostartEntry::entry(const QString& program)
{
    return QByteArrayLiteral("[Desktop Entry]\n"
                             "Type=Application\n"
                             "Name=Ovra\n"
                             "Comment=Dictée vocale (démarrage avec la session)\n") +
           "Exec=" + quoted(program).toUtf8() + " --hidden\n" +
           QByteArrayLiteral("Icon=app.ovra.Ovra\n"
                             "Terminal=false\n"
                             "X-GNOME-Autostart-enabled=true\n");
}

bool XdgAutostartEntry::isEnabled() const
{
    QFile f(path());
    if (!f.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray& raw : f.readAll().split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line == "Hidden=true" || line == "X-GNOME-Autostart-enabled=false")
            return false;
    }
    return true;
}

Expected<void, QString> XdgAutostartEntry::setEnabled(bool enabled)
{
    if (!enabled) {
        if (QFile::exists(path()) && !QFile::remove(path()))
            return unexpected(QStringLiteral("Impossible de retirer le lancement à l'ouverture de session (") +
                              path() + QStringLiteral(")."));
        return {};
    }
    if (!QDir().mkpath(m_folder))
        return unexpected(QStringLiteral("Impossible de créer le dossier ") + m_folder + QStringLiteral("."));
    QSaveFile file(path());
    if (!file.open(QIODevice::WriteOnly) || file.write(entry(m_program)) < 0 || !file.commit())
        return unexpected(QStringLiteral("Impossible d'écrire ") + path() + QStringLiteral(" : ") + file.errorString());
    return {};
}
