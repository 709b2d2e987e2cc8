#include "BackupPayload.h"

#include "BackupJsonWriter.h"
#include "WidgetLayoutSettings.h"
#include "store/RecordStore.h"
#include "store/Settings.h"

#include <QBuffer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>
#include <QSet>

namespace {

// Beyond this a text is not a dictation or a note but a damaged or hostile file.
constexpr qsizetype kMaxTextLength = 10'000'000;

// Keys the document may leave out although the record always has a value: the default applies.
template <class R>
bool mayBeAbsent(const char* name)
{
    auto in = [name](std::initializer_list<const char*> names) {
        for (const char* n : names)
            if (qstrcmp(n, name) == 0)
                return true;
        return false;
    };
    if constexpr (std::is_same_v<R, TranscriptionMode>)
        return in({"iconForegroundColorRaw", "iconBackgroundColorRaw", "updatedAt", "lastEditedDeviceID",
                   "lastEditedDeviceName"});
    else if constexpr (std::is_same_v<R, PromptPreset>)
        return in({"updatedAt", "lastEditedDeviceID", "lastEditedDeviceName", "isTrashed"});
    else if constexpr (std::is_same_v<R, DictionaryEntry>)
        return in({"origin", "updatedAt", "lastEditedDeviceID", "lastEditedDeviceName"});
    else if constexpr (std::is_same_v<R, Note>)
        return in({"lastEditedDeviceID", "lastEditedDeviceName"});
    else if constexpr (std::is_same_v<R, Transcription>)
        return in({"wasMadeOffline"});
    else
        return false;
}

template <class R>
qsizetype fieldIndex(const char* name)
{
    const auto& fields = RecordSchema<R>::fields();
    for (qsizetype i = 0; i < fields.size(); ++i)
        if (qstrcmp(fields[i].name, name) == 0)
            return i;
    return 63;
}

QString typeName(FieldType t)
{
    switch (t) {
    case FieldType::Uuid:
        return QStringLiteral("un UUID");
    case FieldType::String:
        return QStringLiteral("un texte");
    case FieldType::Bool:
        return QStringLiteral("un booléen");
    case FieldType::Int:
        return QStringLiteral("un nombre entier");
    case FieldType::Double:
        return QStringLiteral("un nombre");
    case FieldType::Date:
        return QStringLiteral("une date");
    case FieldType::Bytes:
        return QStringLiteral("des données base64");
    }
    return {};
}

class Decoder
{
public:
    QString error;

    bool fail(const QString& message)
    {
        if (error.isEmpty())
            error = message;
        return false;
    }

    bool checkLength(const QJsonValue& v, const QString& key, const QString& where)
    {
        if (v.isString() && v.toString().size() > kMaxTextLength)
            return fail(QStringLiteral("Texte trop long pour la clé « %1 »%2 (plus de %3 caractères).")
                            .arg(key, where)
                            .arg(kMaxTextLength));
        return true;
    }

    template <Record R>
    bool record(const QJsonValue& v, const QString& where, R& out, quint64& present)
    {
        if (!v.isObject())
            return fail(QStringLiteral("Un objet est attendu%1.").arg(where));
        const QJsonObject o = v.toObject();
        static const R prototype;
        R r = prototype;
        if (!RecordSchema<R>::fields().first().carried)
            r.id = QUuid::createUuid(); // a record the document names by another key gets an id of its own
        present = 0;
        const auto& fields = RecordSchema<R>::fields();
        for (qsizetype i = 0; i < fields.size(); ++i) {
            const auto& f = fields[i];
            if (!f.carried)
                continue;
            const QString name = QLatin1String(f.name);
            const QJsonValue jv = o.value(name);
            const bool absentAllowed = f.optional || mayBeAbsent<R>(f.name);
            if (jv.isUndefined() || (jv.isNull() && absentAllowed)) {
                if (!absentAllowed)
                    return fail(QStringLiteral("Clé « %1 » manquante%2.").arg(name, where));
                continue;
            }
            if (!checkLength(jv, name, where))
                return false;
            const auto value = fieldFromJson(f.type, jv);
            if (!value) {
                if (f.type == FieldType::Date && jv.isString())
                    return fail(QStringLiteral("Date ISO 8601 invalide : ") + jv.toString());
                if (f.type == FieldType::Uuid && jv.isString())
                    return fail(QStringLiteral("UUID invalide pour la clé « %1 »%2 : %3")
                                    .arg(name, where, jv.toString().left(64)));
                return fail(QStringLiteral("La clé « %1 »%2 doit contenir %3.").arg(name, where, typeName(f.type)));
            }
            f.set(r, *value);
            present |= quint64(1) << i;
        }
        if constexpr (SyncEditableRecord<R>) {
            // Without a date of last edit the creation date stands for it: "now" would make an
            // old record look newer than every deletion and every edit made elsewhere.
            if (!(present & (quint64(1) << fieldIndex<R>("updatedAt"))))
                r.updatedAt = r.createdAt;
        }
        out = std::move(r);
        return true;
    }

    // The ids a section holds must be unique: two records under one id cannot both be kept.
    // keep receives each decoded record.
    template <Record R, class Keep>
    bool section(const QJsonObject& doc, const char* key, bool required, Keep&& keep, bool* seen = nullptr)
    {
        const QJsonValue v = doc.value(QLatin1String(key));
        if (v.isUndefined() || v.isNull()) {
            if (required)
                return fail(QStringLiteral("Clé « %1 » manquante.").arg(QLatin1String(key)));
            return true;
        }
        if (!v.isArray())
            return fail(QStringLiteral("La clé « %1 » doit contenir un tableau.").arg(QLatin1String(key)));
        if (seen)
            *seen = true;
        const QJsonArray array = v.toArray();
        QSet<QUuid> ids;
        ids.reserve(array.size());
        const bool unique = RecordSchema<R>::fields().first().carried; // tombstones carry no id
        for (qsizetype i = 0; i < array.size(); ++i) {
            const QString where = QStringLiteral(" dans %1[%2]").arg(QLatin1String(key)).arg(i);
            BackupItem<R> item;
            if (!record(array.at(i), where, item.record, item.presentKeys))
                return false;
            if (unique) {
                if (ids.contains(item.record.id))
                    return fail(QStringLiteral("Identifiant en double dans « %1 » : %2.")
                                    .arg(QLatin1String(key), uuidText(item.record.id)));
                ids.insert(item.record.id);
            }
            keep(std::move(item));
        }
        return true;
    }

    std::optional<QDateTime> date(const QJsonValue& v, const char* key)
    {
        if (!v.isString()) {
            fail(QStringLiteral("La clé « %1 » doit contenir une date.").arg(QLatin1String(key)));
            return std::nullopt;
        }
        const auto d = DateTime::fromIso(v.toString());
        if (!d)
            fail(QStringLiteral("Date ISO 8601 invalide : ") + v.toString().left(kMaxTextLength));
        return d;
    }
};

// The document's layout, once, for both the store's stream and an in-memory payload.
// each<R>(visit) hands every record of type R to visit; stats() is asked after the usage records.
template <class Each, class Stats>
bool writeDocument(QIODevice& out, const QDateTime& exportedAt, Each&& each, Stats&& stats,
                   const std::optional<QMap<QString, QStringList>>& layouts,
                   const std::optional<QDateTime>& layoutsUpdatedAt, bool withTombstones, bool withTransformStats)
{
    BackupJsonWriter w(out);
    w.beginDocument();
    w.key("schema");
    w.value(BackupPayload::kSchema);
    w.key("app");
    w.value(QLatin1String(BackupPayload::kApp));
    w.key("exportedAt");
    w.value(DateTime::toIsoMillis(exportedAt));
    auto section = [&]<class R>(const char* key) {
        w.beginArray(key);
        each.template operator()<R>([&](const R& r) { w.element(r); });
        w.endArray();
    };
    section.template operator()<PromptPreset>("prompts");
    section.template operator()<TranscriptionMode>("modes");
    section.template operator()<Note>("notes");
    section.template operator()<DictionaryEntry>("dictionary");
    section.template operator()<Transcription>("transcriptions");
    section.template operator()<LearningSuggestion>("learning");
    section.template operator()<APIUsageRecord>("usage");
    if (const std::optional<BackupStats> s = stats()) {
        w.key("stats");
        w.orderedObject(s->toJson(), BackupStats::keyOrder());
    }
    if (withTombstones)
        section.template operator()<DeletionTombstone>("tombstones");
    if (withTransformStats)
        section.template operator()<TransformationStat>("transformStats");
    if (layouts) {
        QJsonObject o;
        for (auto it = layouts->begin(); it != layouts->end(); ++it)
            o.insert(it.key(), QJsonArray::fromStringList(it.value()));
        w.key("widgetLayouts");
        w.value(o);
    }
    if (layoutsUpdatedAt) {
        w.key("widgetLayoutsUpdatedAt");
        w.value(DateTime::toIsoMillis(*layoutsUpdatedAt));
    }
    return w.endDocument();
}

// Records in the store's order (as the export streams them) or by id.
template <class R>
QList<R> fetchAll(const RecordStore& store, bool byId)
{
    return byId ? store.fetch<R>({}, {{QStringLiteral("id"), true}}) : store.fetch<R>();
}

template <class R>
QList<BackupItem<R>> items(const RecordStore& store, bool byId)
{
    QList<BackupItem<R>> out;
    for (R& r : fetchAll<R>(store, byId))
        out.append({std::move(r)});
    return out;
}

BackupPayload recordsPayload(const RecordStore& store, const Settings& settings, const QDateTime& now, bool byId)
{
    BackupPayload p;
    p.exportedAt = now;
    p.prompts = items<PromptPreset>(store, byId);
    p.modes = items<TranscriptionMode>(store, byId);
    p.notes = items<Note>(store, byId);
    p.dictionary = items<DictionaryEntry>(store, byId);
    p.transcriptions = fetchAll<Transcription>(store, byId);
    p.learning = fetchAll<LearningSuggestion>(store, byId);
    p.usage = fetchAll<APIUsageRecord>(store, byId);
    p.tombstones = store.fetch<DeletionTombstone>();
    p.transformStats = fetchAll<TransformationStat>(store, byId);
    const WidgetLayouts w = WidgetLayouts::read(settings);
    if (w.updatedAt || !w.layouts.isEmpty())
        p.widgetLayouts = w.layouts;
    p.widgetLayoutsUpdatedAt = w.updatedAt;
    return p;
}

} // namespace

BackupPayload makePayload(const RecordStore& store, const Settings& settings, const QDateTime& now)
{
    BackupPayload p = recordsPayload(store, settings, now, false);
    p.stats = computeStats(store, now);
    return p;
}

BackupPayload makeRecordsPayload(const RecordStore& store, const Settings& settings, const QDateTime& now)
{
    return recordsPayload(store, settings, now, true);
}

QByteArray encode(const BackupPayload& p)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    (void)encodeTo(p, buffer);
    return bytes;
}

bool encodeTo(const BackupPayload& p, QIODevice& buffer)
{
    auto each = [&p]<class R>(auto&& visit) {
        auto visitAll = [&](const auto& list) {
            for (const auto& item : list) {
                if constexpr (requires { item.record; })
                    visit(item.record);
                else
                    visit(item);
            }
        };
        if constexpr (std::is_same_v<R, PromptPreset>)
            visitAll(p.prompts);
        else if constexpr (std::is_same_v<R, TranscriptionMode>)
            visitAll(p.modes);
        else if constexpr (std::is_same_v<R, Note>)
            visitAll(p.notes);
        else if constexpr (std::is_same_v<R, DictionaryEntry>)
            visitAll(p.dictionary);
        else if constexpr (std::is_same_v<R, Transcription>)
            visitAll(p.transcriptions);
        else if constexpr (std::is_same_v<R, LearningSuggestion>)
            visitAll(p.learning);
        else if constexpr (std::is_same_v<R, APIUsageRecord>)
            visitAll(p.usage);
        else if constexpr (std::is_same_v<R, DeletionTombstone>)
            visitAll(*p.tombstones);
        else if constexpr (std::is_same_v<R, TransformationStat>)
            visitAll(*p.transformStats);
    };
    return writeDocument(buffer, p.exportedAt, each, [&p] { return p.stats; }, p.widgetLayouts,
                         p.widgetLayoutsUpdatedAt, p.tombstones.has_value(), p.transformStats.has_value());
}

Expected<void, BackupError> writeBackup(const RecordStore& store, const Settings& settings, QIODevice& out,
                                        const QDateTime& now)
{
    return writeBackup(store, WidgetLayouts::read(settings), out, now);
}

Expected<void, BackupError> writeBackup(const RecordStore& store, const WidgetLayouts& w, QIODevice& out,
                                        const QDateTime& now)
{
    // The figures are gathered while the records go by: one pass over the store.
    StatsAccumulator stats(now);
    auto each = [&]<class R>(auto&& visit) {
        store.forEach<R>([&](const R& r) {
            if constexpr (std::is_same_v<R, Transcription> || std::is_same_v<R, APIUsageRecord>)
                stats.add(r);
            visit(r);
        });
    };
    std::optional<QMap<QString, QStringList>> layouts;
    if (w.updatedAt || !w.layouts.isEmpty())
        layouts = w.layouts;
    if (!writeDocument(out, now, each, [&] { return std::optional(stats.result()); }, layouts, w.updatedAt, true,
                       true))
        return unexpected(BackupError{QStringLiteral("Écriture impossible : %1").arg(out.errorString())});
    return {};
}

Expected<void, BackupError> exportBackupFile(const RecordStore& store, const Settings& settings, const QString& path)
{
    return exportBackupFile(store, WidgetLayouts::read(settings), path);
}

Expected<void, BackupError> exportBackupFile(const RecordStore& store, const WidgetLayouts& widgetLayouts,
                                             const QString& path)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return unexpected(BackupError{QStringLiteral("Impossible de créer « %1 » : %2").arg(path, file.errorString())});
    if (auto ok = writeBackup(store, widgetLayouts, file); !ok) {
        file.cancelWriting();
        return ok;
    }
    if (!file.commit())
        return unexpected(
            BackupError{QStringLiteral("Impossible d'enregistrer « %1 » : %2").arg(path, file.errorString())});
    return {};
}

Expected<BackupPayload, BackupError> decode(const QByteArray& bytes)
{
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return unexpected(BackupError{QStringLiteral("Ce fichier n'est pas un document JSON valide (%1, position %2).")
                                          .arg(parseError.errorString())
                                          .arg(parseError.offset)});
    if (!doc.isObject())
        return unexpected(BackupError{QStringLiteral("Ce fichier n'est pas une sauvegarde : un objet JSON est attendu.")});
    return decode(doc.object());
}

Expected<BackupPayload, BackupError> decode(const QJsonObject& o)
{
    Decoder d;
    BackupPayload p;

    const QJsonValue schema = o.value(QStringLiteral("schema"));
    if (schema.isUndefined())
        return unexpected(BackupError{QStringLiteral("Clé « schema » manquante.")});
    if (!schema.isDouble())
        return unexpected(BackupError{QStringLiteral("La clé « schema » doit contenir un nombre entier.")});
    if (schema.toDouble() != double(BackupPayload::kSchema))
        return unexpected(BackupError{
            QStringLiteral("Version de format non prise en charge : %1.").arg(schema.toDouble())});
    const QJsonValue app = o.value(QStringLiteral("app"));
    if (app.isUndefined())
        return unexpected(BackupError{QStringLiteral("Clé « app » manquante.")});
    if (!app.isString())
        return unexpected(BackupError{QStringLiteral("La clé « app » doit contenir un texte.")});
    p.app = app.toString().left(256);
    const QJsonValue exportedAt = o.value(QStringLiteral("exportedAt"));
    if (exportedAt.isUndefined())
        return unexpected(BackupError{QStringLiteral("Clé « exportedAt » manquante.")});
    if (const auto at = d.date(exportedAt, "exportedAt"))
        p.exportedAt = *at;
    else
        return unexpected(BackupError{d.error});

    bool hasTombstones = false;
    bool hasTransformStats = false;
    QList<DeletionTombstone> tombstones;
    QList<TransformationStat> transformStats;
    auto into = [](auto& list) {
        return [&list](auto&& item) {
            if constexpr (requires { list.append(std::move(item)); })
                list.append(std::move(item));
            else
                list.append(std::move(item.record));
        };
    };
    const bool ok = d.section<PromptPreset>(o, "prompts", true, into(p.prompts)) &&
                    d.section<TranscriptionMode>(o, "modes", true, into(p.modes)) &&
                    d.section<Note>(o, "notes", true, into(p.notes)) &&
                    d.section<DictionaryEntry>(o, "dictionary", true, into(p.dictionary)) &&
                    d.section<Transcription>(o, "transcriptions", true, into(p.transcriptions)) &&
                    d.section<LearningSuggestion>(o, "learning", true, into(p.learning)) &&
                    d.section<APIUsageRecord>(o, "usage", true, into(p.usage)) &&
                    d.section<DeletionTombstone>(o, "tombstones", false, into(tombstones), &hasTombstones) &&
                    d.section<TransformationStat>(o, "transformStats", false, into(transformStats),
                                                  &hasTransformStats);
    if (!ok)
        return unexpected(BackupError{d.error});
    if (hasTombstones)
        p.tombstones = std::move(tombstones);
    if (hasTransformStats)
        p.transformStats = std::move(transformStats);

    const QJsonValue stats = o.value(QStringLiteral("stats"));
    if (!stats.isUndefined() && !stats.isNull()) {
        QString why;
        const auto s = stats.isObject() ? BackupStats::fromJson(stats.toObject(), &why) : std::nullopt;
        if (!s)
            return unexpected(BackupError{
                QStringLiteral("Statistiques illisibles : %1.").arg(why.isEmpty() ? QStringLiteral("objet attendu") : why)});
        p.stats = s;
    }

    const QJsonValue layouts = o.value(QStringLiteral("widgetLayouts"));
    if (!layouts.isUndefined() && !layouts.isNull()) {
        const QString bad = QStringLiteral("La clé « widgetLayouts » doit associer des noms à des listes de textes.");
        if (!layouts.isObject())
            return unexpected(BackupError{bad});
        QMap<QString, QStringList> m;
        const QJsonObject lo = layouts.toObject();
        for (auto it = lo.begin(); it != lo.end(); ++it) {
            if (!it.value().isArray())
                return unexpected(BackupError{bad});
            QStringList items;
            for (const QJsonValue& item : it.value().toArray()) {
                if (!item.isString() || !d.checkLength(item, QStringLiteral("widgetLayouts"), QString()))
                    return unexpected(BackupError{d.error.isEmpty() ? bad : d.error});
                items << item.toString();
            }
            m.insert(it.key(), items);
        }
        p.widgetLayouts = m;
    }
    const QJsonValue layoutsAt = o.value(QStringLiteral("widgetLayoutsUpdatedAt"));
    if (!layoutsAt.isUndefined() && !layoutsAt.isNull()) {
        const auto at = d.date(layoutsAt, "widgetLayoutsUpdatedAt");
        if (!at)
            return unexpected(BackupError{d.error});
        p.widgetLayoutsUpdatedAt = at;
    }
    return p;
}
