#include "RollbackSnapshots.h"

#include "store/RecordStore.h"

#include <QCoroFuture>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>

namespace {
const QRegularExpression& snapshotName()
{
    static const QRegularExpression re(QStringLiteral("^rollback-([0-9]{1,19})(?:-([0-9]+))?\\.json$"));
    return re;
}

// Two snapshots within one second keep both: the second gets a counter.
QString freeName(const QDir& dir, const QString& stem)
{
    QString name = stem + QStringLiteral(".json");
    for (int i = 2; QFileInfo::exists(dir.filePath(name)); ++i)
        name = stem + QStringLiteral("-%1.json").arg(i);
    return dir.filePath(name);
}
} // namespace

bool RollbackSnapshots::ensureFolder() const
{
    if (!QDir().mkpath(m_folder))
        return false;
    QFile::setPermissions(m_folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return true;
}

QCoro::Task<Expected<QString, BackupError>> RollbackSnapshots::writeInBackground(QString storePath,
                                                                                 WidgetLayouts widgetLayouts,
                                                                                 QDateTime now) const
{
    // A copy: the worker never touches this object, which may go away while it runs.
    RollbackSnapshots target(m_folder);
    QFuture<Expected<QString, BackupError>> writing =
        QtConcurrent::run([target, storePath = std::move(storePath), widgetLayouts = std::move(widgetLayouts),
                           now]() mutable -> Expected<QString, BackupError> {
            auto store = RecordStore::open(storePath, {}, RecordStore::Access::readOnly);
            if (!store)
                return unexpected(BackupError{store.error().message});
            return target.write(**store, widgetLayouts, now);
        });
    co_return co_await writing;
}

Expected<QString, BackupError> RollbackSnapshots::write(const RecordStore& store, const WidgetLayouts& widgetLayouts,
                                                        const QDateTime& now)
{
    if (!ensureFolder())
        return unexpected(BackupError{QStringLiteral("Impossible de créer « %1 ».").arg(m_folder)});
    const QString path = freeName(QDir(m_folder), QStringLiteral("rollback-%1").arg(now.toSecsSinceEpoch()));
    if (auto ok = exportBackupFile(store, widgetLayouts, path); !ok)
        return unexpected(ok.error());
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    prune();
    return path;
}

Expected<QString, BackupError> RollbackSnapshots::keepUnreadable(const QString& source, const QDateTime& now)
{
    if (!ensureFolder())
        return unexpected(BackupError{QStringLiteral("Impossible de créer « %1 ».").arg(m_folder)});
    const QString path = freeName(QDir(m_folder), QStringLiteral("unreadable-%1").arg(now.toSecsSinceEpoch()));
    if (!QFile::copy(source, path))
        return unexpected(BackupError{QStringLiteral("Copie de « %1 » impossible.").arg(source)});
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    return path;
}

QStringList RollbackSnapshots::snapshots() const
{
    struct Entry
    {
        qint64 seconds;
        int counter;
        QString name;
    };
    QList<Entry> entries;
    for (const QString& name : QDir(m_folder).entryList({QStringLiteral("rollback-*.json")}, QDir::Files)) {
        const auto m = snapshotName().match(name);
        if (m.hasMatch())
            entries.append({m.captured(1).toLongLong(), m.captured(2).isEmpty() ? 1 : m.captured(2).toInt(), name});
    }
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        return std::tie(a.seconds, a.counter) < std::tie(b.seconds, b.counter);
    });
    QStringList out;
    for (const Entry& e : entries)
        out << QDir(m_folder).filePath(e.name);
    return out;
}

void RollbackSnapshots::prune() const
{
    QStringList all = snapshots();
    while (all.size() > kKept)
        QFile::remove(all.takeFirst());
}
