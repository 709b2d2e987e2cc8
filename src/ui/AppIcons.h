#pragma once
// The program's icons, shipped with it in the hicolor layout: the application icon in its
// variants, the tray icon (microphone, or record while recording) and the recorder panel's
// white symbols. The desktop's icon theme wins for the tray when it has the name.
#include <QIcon>
#include <QStringList>

namespace AppIcons {
QString trayIconName(bool recording);
QIcon trayIcon(bool recording);
// White symbols for the dark recorder panel (never themed).
QIcon panelIcon(const QString& name);

// Application icon variants: "" (default), "dark", "sunset".
QStringList appIconChoices();
QString appIconTitle(const QString& choice);
QIcon appIcon(const QString& choice);
// Words dictated (the statistics' total) that unlock a variant; 0 for the default.
qint64 appIconWordsNeeded(const QString& choice);
} // namespace AppIcons
