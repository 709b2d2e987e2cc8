#include "AppIcons.h"

namespace AppIcons {

QString trayIconName(bool recording)
{
    return recording ? QStringLiteral("media-record") : QStringLiteral("audio-input-microphone");
}

QIcon trayIcon(bool recording)
{
    const QString name = trayIconName(recording);
    return QIcon::fromTheme(name, QIcon(QStringLiteral(":/icons/hicolor/scalable/status/") + name +
                                        QStringLiteral(".svg")));
}

QIcon panelIcon(const QString& name)
{
    return QIcon(QStringLiteral(":/icons/panel/") + name + QStringLiteral(".svg"));
}

QStringList appIconChoices() { return {QString(), QStringLiteral("dark"), QStringLiteral("sunset")}; }

QString appIconTitle(const QString& choice)
{
    if (choice == QLatin1String("dark"))
        return QStringLiteral("Sombre");
    if (choice == QLatin1String("sunset"))
        return QStringLiteral("Coucher de soleil");
    return QStringLiteral("Classique");
}

qint64 appIconWordsNeeded(const QString& choice)
{
    if (choice == QLatin1String("dark"))
        return 1000;
    if (choice == QLatin1String("sunset"))
        return 10000;
    return 0;
}

QIcon appIcon(const QString& choice)
{
    const QString suffix = appIconChoices().contains(choice) && !choice.isEmpty() ? QLatin1Char('-') + choice : QString();
    return QIcon(QStringLiteral(":/icons/hicolor/scalable/apps/app.ovra.Ovra") + suffix + QStringLiteral(".svg"));
}

} // namespace AppIcons
