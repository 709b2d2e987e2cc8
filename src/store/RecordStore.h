#pragma once
// The local record store: one SQLite file (WAL), one table per record type.
#include "Expected.h"
#include "RecordFields.h"
#include "StoreRow.h"

#include <QObject>
#include <algorithm>
#include <QSet>
#include <chrono>
#include <functional>
#include <memory>

struct sqlite3;
struct sqlite3_stmt;
class QTimer;

struct StoreError
{
    QString message;
};
using StoreResult = Expected<void, StoreError>;

// Who edits: stamped on every edit of a record edited on several devices.
struct EditIdentity
{
    QString deviceID;
    QString deviceName;
};

struct SortKey
{
    QString field;
    bool ascending = true;
};

class RecordStore : public QObject
{
    Q_OBJECT
public:
    static constexpr int kSchemaVersion = 2;

    enum class Access { readWrite, readOnly };

    // Opens or creates the store (owner-only, in an owner-only folder), migrating an older
    // schema in one transaction. A file that is not a store of ours, or of a newer schema, is
    // refused and left untouched. Read-only: nothing is created, migrated or written, and a
    // read-only folder will do. Every error names the file.
    static Expected<std::unique_ptr<RecordStore>, StoreError> open(const QString& path,
                                                                    std::function<EditIdentity()> identity,
                                                                    Access access = Access::readWrite);
    ~RecordStore() override;

    QString path() const { return m_path; }

    // From now on, commits made by another process (or connection) are noticed by a cheap poll
    // and announced with changed() for every table, as the store cannot tell which.
    void followExternalChanges(std::chrono::milliseconds interval = std::chrono::milliseconds(500));
    // One poll: true when another connection committed since the last one.
    bool checkExternalChanges();
    // A tag kept in the file that every commit adding, editing or deleting a record renews,
    // whichever process or build makes it: an equal tag means the records are as they were, also
    // across restarts. Empty when it cannot be read.
    QString changeMarker() const;

    template <Record R>
    QList<R> fetch(std::function<bool(const R&)> predicate = {}, QList<SortKey> sort = {}) const;
    // Like forEach, reading only the named fields: the others keep the record's defaults. For
    // passes over every record that need a few columns of each; where, an SQL condition written by
    // the caller (never user input), narrows the rows.
    template <Record R>
    void forEachWith(const QStringList& fields, const std::function<void(const R&)>& visit,
                     const QString& where = {}) const;
    // The named columns of every row matching where, in the order named, with no record decoded:
    // for scans over many rows. False when a name is not one of R's fields or the query fails.
    template <Record R>
    bool scan(const QStringList& columns, const std::function<void(const StoreRow&)>& visit,
              const QString& where = {}) const;
    // The first records in the given order, decoding no more rows than that.
    template <Record R>
    QList<R> fetchFirst(int limit, QList<SortKey> sort) const;
    // Hands every record to visit one at a time: memory stays flat however many there are.
    template <Record R>
    void forEach(const std::function<void(const R&)>& visit) const;
    template <Record R>
    std::optional<R> find(const QUuid& id) const;
    template <Record R>
    qint64 count() const;
    template <Record R>
    StoreResult insert(const R& r);
    // A user's edit: records edited on several devices get updatedAt and the device stamped.
    template <Record R>
    StoreResult update(R r);
    // Writes the record as given (merges from other devices keep their stamps).
    template <Record R>
    StoreResult replace(const R& r);
    // Deleting a record edited on several devices leaves its tombstone in the same transaction.
    template <Record R>
    StoreResult remove(const QUuid& id);
    // Deletes the row only: for merges that already hold the record's tombstone.
    template <Record R>
    StoreResult erase(const QUuid& id);

    // Runs body as one transaction: all of it is stored, or none of it.
    StoreResult save(const std::function<StoreResult()>& body);

Q_SIGNALS:
    // One signal per change, naming the record type's table.
    void changed(const QString& table);

private:
    struct Column
    {
        const char* name;
        FieldType type;
    };

    RecordStore(sqlite3* db, QString path, std::function<EditIdentity()> identity);
    StoreResult migrate(Access access);
    qint64 dataVersion() const;
    StoreResult exec(const QString& sql);
    StoreResult fail(const char* what) const;
    sqlite3_stmt* prepare(const QString& sql) const;

    // Statements are built once per table and reused.
    sqlite3_stmt* selectStatement(const char* table, const QList<Column>& cols, const QString& where,
                                  const QList<SortKey>& sort, int limit = -1) const;
    sqlite3_stmt* insertStatement(const char* table, const QList<Column>& cols, bool upsert);
    static void bindValue(sqlite3_stmt* st, int index, FieldType type, const QVariant& v);
    static QVariant columnValue(sqlite3_stmt* st, int index, FieldType type);
    static bool step(sqlite3_stmt* st); // true while a row is available
    StoreResult finishWrite(sqlite3_stmt* st, const char* table);
    StoreResult deleteRow(const char* table, const QUuid& id);
    qint64 countRows(const char* table) const;
    bool storesUtf8() const;
    void touched(const char* table);

    template <Record R>
    static const QList<Column>& columns();
    template <Record R>
    QList<R> select(const QString& where, const QUuid* id, const QList<SortKey>& sort,
                    const std::function<bool(const R&)>& predicate, int limit = -1) const;
    template <Record R>
    StoreResult write(const R& r, bool upsert);

    sqlite3* m_db;
    QString m_path;
    std::function<EditIdentity()> m_identity;
    mutable QHash<QString, sqlite3_stmt*> m_statements;
    mutable std::optional<bool> m_storesUtf8;
    int m_transactionDepth = 0;
    QSet<QString> m_pendingChanges;
    qint64 m_dataVersion = -1;
    QTimer* m_pollTimer = nullptr;
};

template <Record R>
const QList<RecordStore::Column>& RecordStore::columns()
{
    static const QList<Column> cols = [] {
        QList<Column> c;
        for (const auto& f : RecordSchema<R>::fields())
            c.append({f.name, f.type});
        return c;
    }();
    return cols;
}

template <Record R>
QList<R> RecordStore::select(const QString& where, const QUuid* id, const QList<SortKey>& sort,
                             const std::function<bool(const R&)>& predicate, int limit) const
{
    QList<R> out;
    sqlite3_stmt* st = selectStatement(RecordSchema<R>::table, columns<R>(), where, sort, limit);
    if (!st)
        return out;
    if (id)
        bindValue(st, 1, FieldType::Uuid, QVariant::fromValue(*id));
    // Copying a prototype is far cheaper than making a new UUID and reading the clock per row.
    static const R prototype;
    const auto& fields = RecordSchema<R>::fields();
    while (step(st)) {
        R r = prototype;
        for (qsizetype i = 0; i < fields.size(); ++i)
            fields[i].set(r, columnValue(st, int(i), fields[i].type));
        if (!predicate || predicate(r))
            out.append(std::move(r));
    }
    return out;
}

template <Record R>
StoreResult RecordStore::write(const R& r, bool upsert)
{
    sqlite3_stmt* st = insertStatement(RecordSchema<R>::table, columns<R>(), upsert);
    if (!st)
        return fail(RecordSchema<R>::table);
    const auto& fields = RecordSchema<R>::fields();
    for (qsizetype i = 0; i < fields.size(); ++i)
        bindValue(st, int(i + 1), fields[i].type, fields[i].get(r));
    return finishWrite(st, RecordSchema<R>::table);
}

template <Record R>
QList<R> RecordStore::fetch(std::function<bool(const R&)> predicate, QList<SortKey> sort) const
{
    return select<R>({}, nullptr, sort, predicate);
}

template <Record R>
void RecordStore::forEachWith(const QStringList& names, const std::function<void(const R&)>& visit,
                              const QString& where) const
{
    const auto& fields = RecordSchema<R>::fields();
    QList<Column> cols;
    QList<qsizetype> which;
    for (qsizetype i = 0; i < fields.size(); ++i)
        if (names.contains(QLatin1String(fields[i].name))) {
            cols.append({fields[i].name, fields[i].type});
            which.append(i);
        }
    sqlite3_stmt* st = selectStatement(RecordSchema<R>::table, cols, where, {});
    if (!st)
        return;
    static const R prototype;
    while (step(st)) {
        R r = prototype;
        for (qsizetype c = 0; c < which.size(); ++c)
            fields[which[c]].set(r, columnValue(st, int(c), fields[which[c]].type));
        visit(r);
    }
}

template <Record R>
bool RecordStore::scan(const QStringList& names, const std::function<void(const StoreRow&)>& visit,
                       const QString& where) const
{
    const auto& fields = RecordSchema<R>::fields();
    QList<Column> cols;
    for (const QString& name : names) {
        const auto f = std::find_if(fields.begin(), fields.end(),
                                    [&](const auto& d) { return name == QLatin1String(d.name); });
        if (f == fields.end())
            return false;
        cols.append({f->name, f->type});
    }
    sqlite3_stmt* st = selectStatement(RecordSchema<R>::table, cols, where, {});
    if (!st)
        return false;
    const StoreRow row(st, storesUtf8());
    while (step(st))
        visit(row);
    return true;
}

template <Record R>
QList<R> RecordStore::fetchFirst(int limit, QList<SortKey> sort) const
{
    return select<R>({}, nullptr, sort, {}, std::max(0, limit));
}

template <Record R>
void RecordStore::forEach(const std::function<void(const R&)>& visit) const
{
    (void)select<R>({}, nullptr, {}, [&](const R& r) {
        visit(r);
        return false;
    });
}

template <Record R>
std::optional<R> RecordStore::find(const QUuid& id) const
{
    const QList<R> found = select<R>(QStringLiteral("id = ?"), &id, {}, {});
    if (found.isEmpty())
        return std::nullopt;
    return found.first();
}

template <Record R>
qint64 RecordStore::count() const
{
    return countRows(RecordSchema<R>::table);
}

template <Record R>
StoreResult RecordStore::insert(const R& r)
{
    return write(r, false);
}

template <Record R>
StoreResult RecordStore::update(R r)
{
    if constexpr (SyncEditableRecord<R>) {
        const EditIdentity who = m_identity ? m_identity() : EditIdentity{};
        r.updatedAt = DateTime::now();
        r.lastEditedDeviceID = who.deviceID;
        r.lastEditedDeviceName = who.deviceName;
    }
    return replace(r);
}

template <Record R>
StoreResult RecordStore::replace(const R& r)
{
    return write(r, true);
}

template <Record R>
StoreResult RecordStore::erase(const QUuid& id)
{
    return deleteRow(RecordSchema<R>::table, id);
}

template <Record R>
StoreResult RecordStore::remove(const QUuid& id)
{
    if constexpr (SyncEditableRecord<R>) {
        return save([&]() -> StoreResult {
            if (!find<R>(id))
                return {};
            DeletionTombstone t;
            t.recordID = id;
            t.typeRaw = QLatin1String(SyncEditable<R>::typeRaw);
            if (auto ok = insert(t); !ok)
                return ok;
            return deleteRow(RecordSchema<R>::table, id);
        });
    } else {
        return deleteRow(RecordSchema<R>::table, id);
    }
}
