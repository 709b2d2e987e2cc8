#pragma once
// What each known setting holds, so that `ovra settings set` refuses a value the program
// would misread: an unknown key (with the nearest known one), a wrong kind of value, a key
// combination that does not parse.
#include "store/Expected.h"

#include <QStringList>
#include <QVariant>
#include <optional>

namespace SettingTypes {

enum class Kind { any, boolean, integer, number, text, list, map };

QStringList knownKeys();
// Nothing for a key the program does not know.
std::optional<Kind> kindOf(const QString& key);
// "un booléen (true ou false)"
QString describe(Kind kind);
// The value to store for a known key: parsed is VALUE read as JSON when it parses, text what
// the user typed (text settings take it as it stands, "42" included). Or why it is refused.
Expected<QVariant, QString> check(const QString& key, const QVariant& parsed, const QString& text);

} // namespace SettingTypes
