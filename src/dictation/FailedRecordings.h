#pragma once
// Keeps the recording of every dictation whose transcription failed, so the speech can be
// transcribed again later: one audio file and one small JSON description per dictation in a
// folder of the data folder, the most recent ones only.
#include "store/Expected.h"

#include <QDateTime>
#include <QObject>
#include <QUuid>
#include <optional>

struct FailedRecording
{
    QUuid id;
    // Full path of the kept audio file.
    QString audioFile;
    std::optional<QUuid> modeID;
    QString modeName;
    QDateTime date;
    QString error;
    double duration = 0;
};

class FailedRecordings : public QObject
{
    Q_OBJECT
public:
    static constexpr int kKept = 20;
    static constexpr const char* kFolderName = "FailedRecordings";

    // folder: created owner-only on the first recording kept.
    explicit FailedRecordings(QString folder, QObject* parent = nullptr);

    const QString& folder() const { return m_folder; }

    // Moves the recording into the folder with its description and drops the oldest beyond
    // kKept. On error the recording stays where it was; the message names the file.
    Expected<FailedRecording, QString> keep(const QString& audioFile, const FailedRecording& description);
    // The error of a new failed attempt on a kept recording.
    Expected<void, QString> updateError(const QUuid& id, const QString& error);
    // Removes a kept recording once its speech has been transcribed.
    void remove(const QUuid& id);

    // Newest first; descriptions that cannot be read are skipped and left on disk.
    QList<FailedRecording> list() const;
    std::optional<FailedRecording> find(const QUuid& id) const;
    std::optional<FailedRecording> last() const;

Q_SIGNALS:
    void changed();

private:
    QString descriptionPath(const QUuid& id) const;
    Expected<void, QString> writeDescription(const FailedRecording& r) const;
    void prune();

    QString m_folder;
};
