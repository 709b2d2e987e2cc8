#include "TranscriptionRetention.h"

#include "ai/PinnedPresets.h"
#include "stats/BackupStats.h"
#include "stats/StatsRefresher.h"
#include "store/DebugLog.h"
#include "store/RecordStore.h"
#include "store/Settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <climits>
#include <cmath>

QDateTime TranscriptionRetention::now() const
{
    return m_deps.clock ? m_deps.clock() : QDateTime::currentDateTimeUtc();
}

std::optional<qint64> TranscriptionRetention::days(const QString& key) const
{
    const auto n = m_deps.settings.numberValue(key);
    if (!n || !std::isfinite(*n) || *n < 1)
        return std::nullopt;
    // A value of centuries would overflow the date arithmetic: it means "forever" anyway.
    if (*n > 1e6)
        return std::nullopt;
    return qint64(*n);
}

int TranscriptionRetention::purgeExpired()
{
    const auto keep = days(SharedDefaults::key(SharedDefaultsKey::dictationRetentionDays));
    if (!keep)
        return 0;
    const QDateTime cutoff = now().addSecs(-*keep * 86400);
    const QList<Transcription> expired = m_deps.store.fetch<Transcription>(
        [&](const Transcription& t) { return !t.purgedAt && t.createdAt < cutoff; });
    if (expired.isEmpty())
        return 0;
    const QDir recordings(m_deps.recordingsFolder);
    const StoreResult saved = m_deps.store.save([&]() -> StoreResult {
        for (Transcription t : expired) {
            if (t.audioFileName) {
                // Only a file inside the recordings folder: a record never points us elsewhere.
                const QString path = QFileInfo(recordings.filePath(*t.audioFileName)).absoluteFilePath();
                if (!m_deps.recordingsFolder.isEmpty() &&
                    path.startsWith(QFileInfo(m_deps.recordingsFolder).absoluteFilePath() + QLatin1Char('/')))
                    QFile::remove(path);
                t.audioFileName.reset();
            }
            // Characters counted as the statistics count them, so that the figures do not move.
            const qint64 characters = visibleCharacterCount(t.spokenText());
            t.purgeContent();
            t.storedCharCount = int(std::min<qint64>(characters, INT_MAX));
            t.purgedAt = now();
            if (auto ok = m_deps.store.replace(t); !ok)
                return ok;
        }
        return {};
    });
    if (!saved) {
        m_deps.log.log(QStringLiteral("APP retention: purge des dictées impossible : ") + saved.error().message);
        return 0;
    }
    if (m_deps.stats)
        m_deps.stats->refresh();
    return int(expired.size());
}

int TranscriptionRetention::purgeNotes()
{
    const auto keep = days(SharedDefaults::key(SharedDefaultsKey::noteRetentionDays));
    if (!keep)
        return 0;
    const QDateTime cutoff = now().addSecs(-*keep * 86400);
    // The last edit counts: a note the user keeps working on is not old.
    const QList<Note> expired = m_deps.store.fetch<Note>([&](const Note& n) { return n.updatedAt < cutoff; });
    const StoreResult saved = m_deps.store.save([&]() -> StoreResult {
        for (const Note& n : expired)
            if (auto ok = m_deps.store.remove<Note>(n.id); !ok) // leaves the tombstone for the other devices
                return ok;
        return {};
    });
    if (!saved) {
        m_deps.log.log(QStringLiteral("APP retention: purge des notes impossible : ") + saved.error().message);
        return 0;
    }
    return int(expired.size());
}

int TranscriptionRetention::purgePromptTrash()
{
    const QDateTime cutoff = now().addSecs(-kPromptTrashSeconds);
    const QList<PromptPreset> expired = m_deps.store.fetch<PromptPreset>(
        [&](const PromptPreset& p) { return p.isTrashed && p.trashedAt && *p.trashedAt < cutoff; });
    if (expired.isEmpty())
        return 0;
    const StoreResult saved = m_deps.store.save([&]() -> StoreResult {
        for (const PromptPreset& p : expired)
            if (auto ok = m_deps.store.remove<PromptPreset>(p.id); !ok)
                return ok;
        return {};
    });
    if (!saved) {
        m_deps.log.log(QStringLiteral("APP retention: purge de la corbeille impossible : ") + saved.error().message);
        return 0;
    }
    PinnedPresets::publish(m_deps.store, m_deps.settings);
    return int(expired.size());
}

void TranscriptionRetention::runAll()
{
    purgeExpired();
    purgeNotes();
    purgePromptTrash();
}
