#include "BackupImporter.h"

#include "WidgetLayoutSettings.h"
#include "store/DebugLog.h"
#include "store/RecordStore.h"
#include "store/Settings.h"

#include <QFile>
#include <QHash>
#include <QSet>

namespace {

using DeletionTimes = QHash<QUuid, QDateTime>;

QString deleteLabel(const TranscriptionMode& m) { return m.name.isEmpty() ? QStringLiteral("(mode)") : m.name; }
QString deleteLabel(const PromptPreset& p) { return p.name.isEmpty() ? QStringLiteral("(prompt)") : p.name; }
QString deleteLabel(const DictionaryEntry& e) { return e.term.isEmpty() ? QStringLiteral("(entrée)") : e.term; }
QString deleteLabel(const Note& n) { return n.displayTitle(); }

template <SyncEditableRecord R>
class EditableMerge
{
public:
    explicit EditableMerge(RecordStore& store) : m_store(store)
    {
        for (R& r : store.fetch<R>())
            m_local.insert(r.id, std::move(r));
    }

    // New ids are inserted; known ones take the incoming content only when it was edited later.
    StoreResult merge(const QList<BackupItem<R>>& incoming, const DeletionTimes& deleted, int& count)
    {
        for (const BackupItem<R>& item : incoming) {
            const R& in = item.record;
            const auto local = m_local.find(in.id);
            if (local == m_local.end()) {
                // Deleted here after its last edit: inserting it would only count it, then drop it.
                const auto gone = deleted.constFind(in.id);
                if (gone != deleted.constEnd() && !(in.updatedAt > *gone))
                    continue;
                if (auto ok = m_store.insert(in); !ok)
                    return ok;
                m_local.insert(in.id, in);
                ++count;
            } else if (item.has("updatedAt") && in.updatedAt > local->updatedAt) {
                R merged = *local;
                // Keys the document left out keep their local value: nothing is lost to an older writer.
                const auto& fields = RecordSchema<R>::fields();
                for (qsizetype i = 0; i < fields.size(); ++i)
                    if (fields[i].carried && (item.presentKeys & (quint64(1) << i)))
                        fields[i].set(merged, fields[i].get(in));
                merged.updatedAt = in.updatedAt;
                merged.lastEditedDeviceID = in.lastEditedDeviceID;
                merged.lastEditedDeviceName = in.lastEditedDeviceName;
                if (auto ok = m_store.replace(merged); !ok)
                    return ok;
                *local = std::move(merged);
            }
        }
        return {};
    }

    // Records with a tombstone go, unless edited after the deletion.
    StoreResult applyDeletions(const DeletionTimes& deleted, QStringList& keptLines)
    {
        for (auto it = m_local.begin(); it != m_local.end(); ++it) {
            const auto gone = deleted.constFind(it.key());
            if (gone == deleted.constEnd())
                continue;
            if (it->updatedAt > *gone) {
                keptLines << QStringLiteral("APP delete-vs-édition : « %1 » conservée (édition postérieure à la suppression)")
                                 .arg(deleteLabel(*it));
                continue;
            }
            if (auto ok = m_store.erase<R>(it.key()); !ok)
                return ok;
        }
        return {};
    }

private:
    RecordStore& m_store;
    QHash<QUuid, R> m_local;
};

// Records that are never edited: an id already here is left as it is.
template <Record R>
StoreResult insertNew(RecordStore& store, const QList<R>& incoming, int* count)
{
    if (incoming.isEmpty())
        return {};
    QSet<QUuid> local;
    store.forEach<R>([&](const R& r) { local.insert(r.id); });
    for (const R& r : incoming) {
        if (local.contains(r.id))
            continue;
        if (auto ok = store.insert(r); !ok)
            return ok;
        if (count)
            ++*count;
    }
    return {};
}

StoreResult storeTombstones(RecordStore& store, const std::optional<QList<DeletionTombstone>>& incoming,
                            DeletionTimes& deleted)
{
    auto note = [&deleted](const DeletionTombstone& t) {
        auto it = deleted.find(t.recordID);
        if (it == deleted.end())
            deleted.insert(t.recordID, t.deletedAt);
        else if (t.deletedAt > *it)
            *it = t.deletedAt;
    };
    QSet<QUuid> marked;
    for (const DeletionTombstone& t : store.fetch<DeletionTombstone>()) {
        marked.insert(t.recordID);
        note(t);
    }
    if (!incoming)
        return {};
    for (const DeletionTombstone& t : *incoming) {
        note(t);
        if (marked.contains(t.recordID))
            continue;
        if (auto ok = store.insert(t); !ok)
            return ok;
        marked.insert(t.recordID);
    }
    return {};
}

} // namespace

Expected<ImportSummary, BackupError> BackupImporter::importPayload(const BackupPayload& p)
{
    ImportSummary summary;
    QStringList keptLines;
    const StoreResult saved = m_store.save([&]() -> StoreResult {
        DeletionTimes deleted;
        if (auto ok = storeTombstones(m_store, p.tombstones, deleted); !ok)
            return ok;
        EditableMerge<PromptPreset> prompts(m_store);
        EditableMerge<TranscriptionMode> modes(m_store);
        EditableMerge<Note> notes(m_store);
        EditableMerge<DictionaryEntry> dictionary(m_store);
        StoreResult ok = prompts.merge(p.prompts, deleted, summary.prompts);
        if (ok)
            ok = modes.merge(p.modes, deleted, summary.modes);
        if (ok)
            ok = notes.merge(p.notes, deleted, summary.notes);
        if (ok)
            ok = dictionary.merge(p.dictionary, deleted, summary.dictionary);
        if (ok)
            ok = insertNew(m_store, p.transcriptions, &summary.transcriptions);
        if (ok)
            ok = insertNew(m_store, p.learning, &summary.suggestions);
        if (ok)
            ok = insertNew(m_store, p.usage, &summary.usage);
        if (ok && p.transformStats)
            ok = insertNew<TransformationStat>(m_store, *p.transformStats, nullptr);
        if (ok)
            ok = notes.applyDeletions(deleted, keptLines);
        if (ok)
            ok = modes.applyDeletions(deleted, keptLines);
        if (ok)
            ok = prompts.applyDeletions(deleted, keptLines);
        if (ok)
            ok = dictionary.applyDeletions(deleted, keptLines);
        return ok;
    });
    if (!saved)
        return unexpected(BackupError{saved.error().message});
    for (const QString& line : keptLines)
        m_log.log(line, QStringLiteral("SYNC"));

    if (p.widgetLayoutsUpdatedAt && p.widgetLayouts) {
        const WidgetLayouts local = WidgetLayouts::read(m_settings);
        if (!local.updatedAt || *p.widgetLayoutsUpdatedAt > *local.updatedAt) {
            WidgetLayouts::store(m_settings, *p.widgetLayouts, *p.widgetLayoutsUpdatedAt);
            m_log.log(QStringLiteral("APP sync: dispositions de widgets appliquées (distant %1, local %2)")
                          .arg(DateTime::toIsoMillis(*p.widgetLayoutsUpdatedAt),
                               local.updatedAt ? DateTime::toIsoMillis(*local.updatedAt) : QStringLiteral("aucune")),
                      QStringLiteral("SYNC"));
        }
    }
    return summary;
}

Expected<ImportSummary, BackupError> BackupImporter::importFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return unexpected(BackupError{QStringLiteral("Impossible de lire « %1 » : %2").arg(path, file.errorString())});
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return unexpected(BackupError{QStringLiteral("Impossible de lire « %1 » : %2").arg(path, file.errorString())});
    auto payload = decode(bytes);
    if (!payload)
        return unexpected(payload.error());
    return importPayload(*payload);
}
