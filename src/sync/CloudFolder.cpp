#include "CloudFolder.h"

#include "store/AppSettingsKeys.h"
#include "store/Settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QThread>
#include <QTemporaryFile>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
constexpr auto kLockWait = 10s;

QString systemError() { return QString::fromLocal8Bit(std::strerror(errno)); }

// An advisory lock on a hidden file beside the target. Its content never changes, so a sync
// client copies it once and never again. A file system without locks (some network mounts)
// still gets the atomic rename.
class FileLock
{
public:
    explicit FileLock(const QString& path)
    {
        m_fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (m_fd < 0)
            return;
        const auto deadline = std::chrono::steady_clock::now() + kLockWait;
        while (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
            if (errno != EWOULDBLOCK && errno != EINTR)
                return; // no locking here: go on unlocked
            if (std::chrono::steady_clock::now() > deadline) {
                m_timedOut = true;
                return;
            }
            QThread::msleep(20);
        }
        m_locked = true;
    }
    ~FileLock()
    {
        if (m_locked)
            ::flock(m_fd, LOCK_UN);
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool timedOut() const { return m_timedOut; }

private:
    int m_fd = -1;
    bool m_locked = false;
    bool m_timedOut = false;
};

QString lockPath(const QString& folder, const QString& name)
{
    return QDir(folder).filePath(QLatin1Char('.') + name + QStringLiteral(".lock"));
}

CloudFolderError lockTimeout(const QString& path)
{
    return {QStringLiteral("« %1 » est verrouillé par un autre processus d'Ovra.").arg(path)};
}

} // namespace

QString CloudFolder::chosenRoot(const Settings& settings)
{
    const QString env = qEnvironmentVariable(kEnvironmentOverride);
    if (!env.isEmpty())
        return env;
    return settings.stringValue(AppSettingsKey::cloudFolder, QString());
}

std::optional<CloudFolder> CloudFolder::locate(const Settings& settings)
{
    const QString root = chosenRoot(settings);
    if (root.isEmpty() || !QFileInfo(root).isAbsolute() || !QFileInfo(root).isDir())
        return std::nullopt;
    const QString docs = QDir(root).filePath(QLatin1String(kDocumentsFolder));
    if (!QFileInfo(docs).isDir() && !QDir().mkpath(docs))
        return std::nullopt;
    if (!QFileInfo(docs).isDir())
        return std::nullopt;
    return CloudFolder(docs);
}

namespace {
CloudFolder::Stamp stampFrom(const struct stat& st)
{
    return {qint64(st.st_size), qint64(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec,
            qint64(st.st_ctim.tv_sec) * 1'000'000'000 + st.st_ctim.tv_nsec, quint64(st.st_ino)};
}
} // namespace

QString CloudFolder::Stamp::text() const
{
    return QStringLiteral("%1:%2:%3:%4").arg(size).arg(modifiedNSecs).arg(changedNSecs).arg(inode);
}

std::optional<CloudFolder::Stamp> CloudFolder::stampOf(const QString& path)
{
    struct stat st{};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return std::nullopt;
    return stampFrom(st);
}

QString CloudFolder::filePath(const QString& name) const { return QDir(m_path).filePath(name); }

bool CloudFolder::hasFileOrPlaceholder(const QString& name) const
{
    return QFileInfo::exists(filePath(name)) || isDownloading(name, false);
}

bool CloudFolder::isDownloading(const QString& name, bool emptyCounts) const
{
    const QDir dir(m_path);
    // iCloud-style and virtual-file placeholders, Syncthing's download in progress.
    const QStringList markers{QLatin1Char('.') + name + QStringLiteral(".icloud"), name + QStringLiteral(".nextcloud"),
                             name + QStringLiteral(".owncloud"), QStringLiteral(".syncthing.") + name + QStringLiteral(".tmp"),
                             QStringLiteral("~syncthing~") + name + QStringLiteral(".tmp")};
    for (const QString& marker : markers)
        if (QFileInfo::exists(dir.filePath(marker)))
            return true;
    // Nextcloud and ownCloud download into ".name.~hex" before the rename.
    if (!dir.entryList({QLatin1Char('.') + name + QStringLiteral(".~*")}, QDir::Files | QDir::Hidden).isEmpty())
        return true;
    if (emptyCounts) {
        const QFileInfo file(filePath(name));
        if (file.exists() && file.size() == 0)
            return true;
    }
    return false;
}

Expected<std::optional<QByteArray>, CloudFolderError> CloudFolder::read(const QString& name) const
{
    const QString path = filePath(name);
    FileLock lock(lockPath(m_path, name));
    if (lock.timedOut())
        return unexpected(lockTimeout(path));
    QFile file(path);
    if (!file.exists()) {
        if (!QFileInfo(m_path).isDir())
            return unexpected(CloudFolderError{QStringLiteral("le dossier « %1 » n'est plus accessible.").arg(m_path)});
        return std::optional<QByteArray>();
    }
    if (!file.open(QIODevice::ReadOnly))
        return unexpected(CloudFolderError{QStringLiteral("lecture de « %1 » impossible : %2").arg(path, file.errorString())});
    if (file.size() > kMaxFileBytes)
        return unexpected(CloudFolderError{
            QStringLiteral("« %1 » est trop volumineux (%2 Mo).").arg(path).arg(file.size() >> 20)});
    QByteArray bytes = file.read(kMaxFileBytes + 1);
    if (file.error() != QFileDevice::NoError)
        return unexpected(CloudFolderError{QStringLiteral("lecture de « %1 » impossible : %2").arg(path, file.errorString())});
    if (bytes.size() > kMaxFileBytes)
        return unexpected(CloudFolderError{QStringLiteral("« %1 » est trop volumineux.").arg(path)});
    return std::optional<QByteArray>(std::move(bytes));
}

Expected<void, CloudFolderError> CloudFolder::write(const QString& name, const QByteArray& bytes, Stamp* written) const
{
    const QString path = filePath(name);
    auto failed = [&path](const QString& why) {
        return unexpected(CloudFolderError{QStringLiteral("écriture de « %1 » impossible : %2").arg(path, why)});
    };
    if (!QFileInfo(m_path).isDir())
        return failed(QStringLiteral("le dossier n'est plus accessible"));
    FileLock lock(lockPath(m_path, name));
    if (lock.timedOut())
        return unexpected(lockTimeout(path));
    // A hidden temporary name: the clients that sync dot-files still never see a partial target.
    QTemporaryFile temp(QDir(m_path).filePath(QLatin1Char('.') + name + QStringLiteral(".XXXXXX.tmp")));
    if (!temp.open())
        return failed(temp.errorString());
    if (temp.write(bytes) != bytes.size() || !temp.flush() || ::fsync(temp.handle()) != 0) {
        const QString why = temp.errorString().isEmpty() ? systemError() : temp.errorString();
        return failed(why);
    }
    if (::rename(QFile::encodeName(temp.fileName()).constData(), QFile::encodeName(path).constData()) != 0)
        return failed(systemError());
    temp.setAutoRemove(false);
    // Still open: the stamp is our file's (the rename changed its change time), whatever took
    // the name since.
    struct stat st{};
    if (written && ::fstat(temp.handle(), &st) == 0)
        *written = stampFrom(st);
    temp.close();
    return {};
}

Expected<void, CloudFolderError> CloudFolder::remove(const QString& name) const
{
    QFile file(filePath(name));
    if (file.exists() && !file.remove())
        return unexpected(CloudFolderError{
            QStringLiteral("suppression de « %1 » impossible : %2").arg(file.fileName(), file.errorString())});
    return {};
}

bool CloudFolder::isConflictCopyOf(const QString& candidate, const QString& name)
{
    const QFileInfo info(name);
    const QString base = QRegularExpression::escape(info.completeBaseName());
    const QString ext = QRegularExpression::escape(info.suffix());
    // Syncthing "f.sync-conflict-20261210-103512-TH7PRRU.ext"; ownCloud "f_conflict-20261210-103512.ext";
    // Nextcloud "f (conflicted copy 2026-12-10 103512).ext" (with or without the user);
    // Dropbox "f (Jean's conflicted copy 2026-12-10).ext", "(… (1))"; Seafile "f (SFConflict mail 2026-12-10-10-35-12).ext".
    const QRegularExpression pattern(
        QStringLiteral("^%1(?:\\.sync-conflict-[0-9]{8}-[0-9]{6}-[A-Z0-9]{7}|_conflict-[0-9]{8}-[0-9]{6}"
                       "| \\(.*conflicted copy.*\\)| \\(SFConflict .*\\))\\.%2$")
            .arg(base, ext),
        QRegularExpression::CaseInsensitiveOption);
    return pattern.match(candidate).hasMatch();
}

QStringList CloudFolder::conflictCopies(const QString& name) const
{
    const QFileInfo info(name);
    QStringList out;
    const QStringList candidates =
        QDir(m_path).entryList({info.completeBaseName() + QStringLiteral("*.") + info.suffix()}, QDir::Files, QDir::Name);
    for (const QString& c : candidates)
        if (isConflictCopyOf(c, name))
            out << c;
    return out;
}
