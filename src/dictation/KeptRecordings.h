#pragma once
// The recordings of stored dictations the user chose to keep ("mirelo.retention.audioCount"):
// moved into a folder of the data folder under the dictation's id, the newest ones only. With
// a count of 0 a used recording is simply removed.
#include "store/RecordStore.h"

#include <QString>
#include <QUuid>
#include <optional>

class Settings;

class KeptRecordings
{
public:
    static constexpr const char* kFolderName = "Recordings";

    // folder: created owner-only on the first recording kept.
    KeptRecordings(QString folder, Settings& settings);

    const QString& folder() const { return m_folder; }
    int count() const;

    // Takes a recording whose dictation is being stored: the file name to record in
    // `audioFileName` when it is kept, none when it was removed (or could not be moved).
    std::optional<QString> take(const QString& audioFile, const QUuid& dictationID) const;
    // Removes the kept recordings beyond the count, oldest first, and clears their records'
    // file name. Run inside the transaction that stored the new dictation.
    StoreResult prune(RecordStore& store) const;

private:
    QString m_folder;
    Settings& m_settings;
};
