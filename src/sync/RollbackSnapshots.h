#pragma once
// Local copies of the store taken just before remote data is applied, the last five kept.
#include "BackupPayload.h"
#include "WidgetLayoutSettings.h"

#include <QCoroTask>

class RollbackSnapshots
{
public:
    static constexpr const char* kFolderName = "OvraRollback";
    static constexpr int kKept = 5;

    explicit RollbackSnapshots(QString folder) : m_folder(std::move(folder)) {}
    const QString& folder() const { return m_folder; }

    // "rollback-<seconds since 1970>.json", then the oldest beyond five are deleted.
    Expected<QString, BackupError> write(const RecordStore& store, const WidgetLayouts& widgetLayouts,
                                         const QDateTime& now = DateTime::now());
    // The same on a worker thread, through a read-only connection of its own to the store file:
    // the event loop keeps running however large the store. Done when the snapshot is complete.
    QCoro::Task<Expected<QString, BackupError>> writeInBackground(QString storePath, WidgetLayouts widgetLayouts,
                                                                  QDateTime now = DateTime::now()) const;
    // A sync file we could not read is kept here before it is replaced ("unreadable-…").
    Expected<QString, BackupError> keepUnreadable(const QString& path, const QDateTime& now = DateTime::now());
    // Snapshot files, oldest first.
    QStringList snapshots() const;

private:
    bool ensureFolder() const;
    void prune() const;
    QString m_folder;
};
