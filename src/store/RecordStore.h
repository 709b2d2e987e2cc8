#pragma once
// The local record store: one SQLite file (WAL), one table per record type.
#include "Expected.h"
#include "RecordFields.h"

#include <QObject>
#include <QSet>
#include <functional>
#include <memory>

struct sqlite3;
struct sqlite3_stmt;

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
    static constexpr int kSchemaVersion = 1;

    // Opens or creates the store, migrating an older schema in one transaction. A file that is
    // not a store of ours, or of a newer schema, is refused and left untouched.
    static Expected<std::unique_ptr<RecordStore>, StoreError> open(const QString& path,
                                                                    std::function<EditIdentity()> identity);
    ~RecordStore() override;

    QString path() const { return m_path; }

    template <Record R>
    QList<R> fetch(std::function<bool(const R&)> predicate = {}, QList<SortKey> sort = {}) const;
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
    using Row = QList<QVariant>;

    RecordStore(sqlite3* db, QString path, std::function<EditIdentity()> identity);
    StoreResult migrate();
    StoreResult exec(const QString& sql);
    StoreResult fail(const char* what) const;
    sqlite3_stmt* prepare(const QString& sql) const;

    QList<Row> selectRows(const char* table, const QList<Column>& cols, const QString& where,
                          const QList<QVariant>& args, const QList<SortKey>& sort) const;
    StoreResult writeRow(const char* table, const QList<Column>& cols, const Row& row, bool upsertOnly);
    StoreResult deleteRow(const char* table, const QUuid& id);
    qint64 countRows(const char* table) const;
    void touched(const char* table);

    template <Record R>
    static QList<Column> columns();
    template <Record R>
    static Row toRow(const R& r);
    template <Record R>
    static R fromRow(const Row& row);

    sqlite3* m_db;
    QString m_path;
    std::function<EditIdentity()> m_identity;
    mutable QHash<QString, sqlite3_stmt*> m_statements;
    int m_transactionDepth = 0;
    QSet<QString> m_pendingChanges;
};

template <Record R>
QList<RecordStore::Column> RecordStore::columns()
{
    QList<Column> cols;
    for (const auto& f : RecordSchema<R>::fields())
        cols.append({f.name, f.type});
    return cols;
}

template <Record R>
RecordStore::Row RecordStore::toRow(const R& r)
{
    Row row;
    const auto& fields = RecordSchema<R>::fields();
    row.reserve(fields.size());
    for (const auto& f : fields)
        row.append(f.get(r));
    return row;
}

template <Record R>
R RecordStore::fromRow(const Row& row)
{
    R r;
    const auto& fields = RecordSchema<R>::fields();
    for (qsizetype i = 0; i < fields.size(); ++i)
        fields[i].set(r, row[i]);
    return r;
}

template <Record R>
QList<R> RecordStore::fetch(std::function<bool(const R&)> predicate, QList<SortKey> sort) const
{
    QList<R> out;
    const QList<Row> rows = selectRows(RecordSchema<R>::table, columns<R>(), {}, {}, sort);
    out.reserve(rows.size());
    for (const Row& row : rows) {
        R r = fromRow<R>(row);
        if (!predicate || predicate(r))
            out.append(std::move(r));
    }
    return out;
}

template <Record R>
std::optional<R> RecordStore::find(const QUuid& id) const
{
    const QList<Row> rows = selectRows(RecordSchema<R>::table, columns<R>(), QStringLiteral("id = ?"),
                                       {QVariant::fromValue(id)}, {});
    if (rows.isEmpty())
        return std::nullopt;
    return fromRow<R>(rows.first());
}

template <Record R>
qint64 RecordStore::count() const
{
    return countRows(RecordSchema<R>::table);
}

template <Record R>
StoreResult RecordStore::insert(const R& r)
{
    return writeRow(RecordSchema<R>::table, columns<R>(), toRow(r), false);
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
    return writeRow(RecordSchema<R>::table, columns<R>(), toRow(r), true);
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
