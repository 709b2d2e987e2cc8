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

    // The file name to record in the dictation's `audioFileName`: none when no recording is kept.
    std::optional<QString> nameFor(const QString& audioFile, const QUuid& dictationID) const;
    // Once the dictation is stored: moves the recording in under that name, or removes it when
    // none. Before that the recording stays where it is, so a failed save loses no speech.
    void settle(const QString& audioFile, const std::optional<QString>& name) const;
    // Removes the kept recordings beyond the count, oldest first, and clears their records'
    // file name. Run inside the transaction that stored the new dictation.
    StoreResult prune(RecordStore& store) const;

private:
    QString m_folder;
    Settings& m_settings;
};
