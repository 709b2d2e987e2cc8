#pragma once
// How the primary shortcut behaves, stored as its raw value under "ovra.mac.primaryShortcutMode".
#include <QString>

enum class MacPrimaryShortcutMode { toggle, pushToTalk, hybrid };

namespace PrimaryShortcutMode {
QString rawValue(MacPrimaryShortcutMode mode);
QString label(MacPrimaryShortcutMode mode);
// Anything but the three raw values (a missing value included) reads as toggle.
MacPrimaryShortcutMode fromRaw(const QString& raw);
} // namespace PrimaryShortcutMode
