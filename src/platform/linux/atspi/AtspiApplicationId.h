#pragma once
// Which application an accessible application is, in the identifiers the rules use: the
// program's file name in lower case (what WM_CLASS gives on X11 for most programs), else the
// accessible name; and whether an identifier names it, allowing the usual spellings of the
// same browser (firefox-esr, org.mozilla.firefox, "Google Chrome", chromium-browser...).
#include <QString>
#include <QStringList>

namespace AtspiApplicationId {
// The identifier of the application run by this executable with this accessible name.
QString identifierOf(const QString& executablePath, const QString& accessibleName);
// The executable of a process (its /proc link), empty when it cannot be read.
QString executableOf(uint processId);
// The spellings an identifier or a name stands for, lower-cased.
QStringList aliases(const QString& identifierOrName);
bool matches(const QString& applicationId, const QString& accessibleName, const QString& executablePath);
} // namespace AtspiApplicationId
