#include "AppPaths.h"

#include <QDir>

namespace {
QString xdg(const char* variable, const char* fallback)
{
    const QString v = qEnvironmentVariable(variable);
    // Relative values are invalid by the XDG rules and ignored.
    if (!v.isEmpty() && QDir::isAbsolutePath(v))
        return v;
    return QDir::homePath() + QLatin1Char('/') + QLatin1String(fallback);
}
} // namespace

namespace AppPaths {
QString dataFolder() { return xdg("XDG_DATA_HOME", ".local/share") + QStringLiteral("/ovra"); }
QString configFolder() { return xdg("XDG_CONFIG_HOME", ".config") + QStringLiteral("/ovra"); }
QString storeFile() { return dataFolder() + QStringLiteral("/ovra.sqlite"); }
} // namespace AppPaths
