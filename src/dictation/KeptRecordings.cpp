#include "KeptRecordings.h"

#include "RecordingFolder.h"
#include "store/Records.h"
#include "store/Settings.h"
#include "store/SharedDefaultsKey.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>

KeptRecordings::KeptRecordings(QString folder, Settings& settings) : m_folder(std::move(folder)), m_settings(settings) {}

int KeptRecordings::count() const
{
    return int(std::clamp<qint64>(m_settings.intValue(SharedDefaultsKey::dictationAudioRetentionCount, 0), 0, 100000));
}

std::optional<QString> KeptRecordings::nameFor(const QString& audioFile, const QUuid& dictationID) const
{
    if (count() == 0)
        return std::nullopt;
    const QString suffix = QFileInfo(audioFile).suffix();
    return dictationID.toString(QUuid::WithoutBraces) + (suffix.isEmpty() ? QString() : "." + suffix);
}

void KeptRecordings::settle(const QString& audioFile, const std::optional<QString>& name) const
{
    if (!name) {
        QFile::remove(audioFile);
        return;
    }
    const QString target = QDir(m_folder).filePath(*name);
    // QFile::rename copies across file systems (the runtime folder is often a tmpfs). A file
    // that cannot be moved stays where it is; the record's name then points at nothing, which
    // the retention passes take in their stride.
    if (RecordingFolder::ensure(m_folder) && QFile::rename(audioFile, target))
        QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner);
}

StoreResult KeptRecordings::prune(RecordStore& store) const
{
    const QList<Transcription> kept = store.fetch<Transcription>(
        [](const Transcription& t) { return t.audioFileName.has_value(); }, {{QStringLiteral("createdAt"), false}});
    const QString root = QFileInfo(m_folder).absoluteFilePath() + QLatin1Char('/');
    for (qsizetype i = count(); i < kept.size(); ++i) {
        Transcription t = kept[i];
        // Only a file inside the folder: a record never points us elsewhere.
        const QString path = QFileInfo(QDir(m_folder).filePath(*t.audioFileName)).absoluteFilePath();
        if (path.startsWith(root))
            QFile::remove(path);
        t.audioFileName.reset();
        if (auto ok = store.replace(t); !ok)
            return ok;
    }
    return {};
}
