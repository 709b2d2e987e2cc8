#pragma once
// The program's folder in the user's cloud drive: any folder their own sync client keeps in
// step (Nextcloud, Dropbox, Syncthing, rclone, a USB key...). Reads and writes are coordinated
// with an advisory lock beside the file, and a write goes to a temporary file renamed over the
// target, so a sync client never uploads half a file and two of our processes never interleave.
// Blocking file work: call it off the main thread.
#include "store/Expected.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

class Settings;

struct CloudFolderError
{
    QString message;
};

class CloudFolder
{
public:
    // A file's identity on disk: a sync client that replaces it changes the inode or the change
    // time (which no client can set back), even when size and modification time stay.
    struct Stamp
    {
        qint64 size = -1;
        qint64 modifiedNSecs = 0;
        qint64 changedNSecs = 0;
        quint64 inode = 0;
        bool operator==(const Stamp&) const = default;
        QString text() const;
    };
    static std::optional<Stamp> stampOf(const QString& path);

    static constexpr const char* kDocumentsFolder = "Documents";
    static constexpr const char* kEnvironmentOverride = "OVRA_CLOUD_DIR";
    // Beyond this a sync file is not ours but a damaged or hostile one.
    static constexpr qint64 kMaxFileBytes = qint64(512) << 20;

    // The chosen folder (OVRA_CLOUD_DIR overrides the setting) and its "Documents" folder,
    // created when missing. Nothing when no folder is chosen or it cannot be reached: a pulled
    // USB key must not become a fresh empty folder on its mount point.
    static std::optional<CloudFolder> locate(const Settings& settings);
    // The chosen root, even when unreachable ("" when none).
    static QString chosenRoot(const Settings& settings);

    explicit CloudFolder(QString documentsPath) : m_path(std::move(documentsPath)) {}
    const QString& path() const { return m_path; }
    QString filePath(const QString& name) const;

    // The file or a placeholder of a client that has not downloaded it yet.
    bool hasFileOrPlaceholder(const QString& name) const;
    // A client is still bringing the file in: a placeholder or partial download of the common
    // clients, or (when emptyCounts) a zero-length file such clients show before the content.
    bool isDownloading(const QString& name, bool emptyCounts) const;

    // Nothing when the file does not exist.
    Expected<std::optional<QByteArray>, CloudFolderError> read(const QString& name) const;
    // written: the stamp of the file this call put in place, taken from the file itself, so a
    // client replacing it right after is not mistaken for our own write.
    Expected<void, CloudFolderError> write(const QString& name, const QByteArray& bytes, Stamp* written = nullptr) const;
    Expected<void, CloudFolderError> remove(const QString& name) const;

    // The conflict copies the common sync clients leave beside the file, by file name.
    QStringList conflictCopies(const QString& name) const;
    static bool isConflictCopyOf(const QString& candidate, const QString& name);

private:
    QString m_path;
};
