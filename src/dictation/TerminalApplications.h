#pragma once
// Terminal emulators paste with Ctrl+Shift+V (Ctrl+V is a control character for the shell).
#include <QString>

namespace TerminalApplications {
// applicationId: desktop entry id or lower-case window class.
bool contains(const QString& applicationId);
}
