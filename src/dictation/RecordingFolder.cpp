#include "RecordingFolder.h"

#include "store/AppPaths.h"

#include <QDir>
#include <QFileInfo>

namespace RecordingFolder {

QString inProgress()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir::isAbsolutePath(runtime) && QFileInfo(runtime).isDir())
        return QDir(runtime).filePath(QStringLiteral("ovra"));
    return AppPaths::dataFolder();
}

Expected<void, QString> ensure(const QString& folder)
{
    constexpr auto ownerOnly = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
    if (!QDir().mkpath(folder) || !QFile::setPermissions(folder, ownerOnly))
        return unexpected(QStringLiteral("Dossier des enregistrements inutilisable : %1").arg(folder));
    return {};
}

} // namespace RecordingFolder
