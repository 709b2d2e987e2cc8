#include "RecordStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <QUrl>
#include <sqlite3.h>

namespace {

QString sqlType(FieldType t, bool optional)
{
    QString base;
    QString dflt;
    switch (t) {
    case FieldType::Uuid:
    case FieldType::String:
        base = QStringLiteral("TEXT");
        dflt = QStringLiteral("''");
        break;
    case FieldType::Bool:
    case FieldType::Int:
        base = QStringLiteral("INTEGER");
        dflt = QStringLiteral("0");
        break;
    case FieldType::Double:
    case FieldType::Date:
        base = QStringLiteral("REAL");
        dflt = QStringLiteral("0");
        break;
    case FieldType::Bytes:
        base = QStringLiteral("BLOB");
        dflt = QStringLiteral("x''");
        break;
    }
    return optional ? base : base + QStringLiteral(" NOT NULL DEFAULT ") + dflt;
}

} // namespace

void RecordStore::bindValue(sqlite3_stmt* st, int index, FieldType type, const QVariant& v)
{
    if (!v.isValid()) {
        sqlite3_bind_null(st, index);
        return;
    }
    switch (type) {
    case FieldType::Uuid: {
        const QByteArray text = v.toUuid().toByteArray(QUuid::WithoutBraces).toUpper();
        sqlite3_bind_text(st, index, text.constData(), int(text.size()), SQLITE_TRANSIENT);
        break;
    }
    case FieldType::String: {
        const QByteArray text = v.toString().toUtf8();
        sqlite3_bind_text(st, index, text.constData(), int(text.size()), SQLITE_TRANSIENT);
        break;
    }
    case FieldType::Bool:
    case FieldType::Int:
        sqlite3_bind_int64(st, index, v.toLongLong());
        break;
    case FieldType::Double:
        sqlite3_bind_double(st, index, v.toDouble());
        break;
    case FieldType::Date:
        sqlite3_bind_double(st, index, DateTime::toReferenceSeconds(v.toDateTime()));
        break;
    case FieldType::Bytes: {
        const QByteArray bytes = v.toByteArray();
        sqlite3_bind_blob(st, index, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
        break;
    }
    }
}

QVariant RecordStore::columnValue(sqlite3_stmt* st, int index, FieldType type)
{
    if (sqlite3_column_type(st, index) == SQLITE_NULL)
        return {};
    switch (type) {
    case FieldType::Uuid: {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st, index));
        return QVariant::fromValue(QUuid::fromString(QLatin1String(text, sqlite3_column_bytes(st, index))));
    }
    case FieldType::String: {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st, index));
        return QString::fromUtf8(text, sqlite3_column_bytes(st, index));
    }
    case FieldType::Bool:
        return sqlite3_column_int64(st, index) != 0;
    case FieldType::Int:
        return QVariant::fromValue(qint64(sqlite3_column_int64(st, index)));
    case FieldType::Double:
        return sqlite3_column_double(st, index);
    case FieldType::Date:
        return DateTime::fromReferenceSeconds(sqlite3_column_double(st, index));
    case FieldType::Bytes: {
        const auto* data = static_cast<const char*>(sqlite3_column_blob(st, index));
        return QByteArray(data, sqlite3_column_bytes(st, index));
    }
    }
    return {};
}

bool RecordStore::step(sqlite3_stmt* st)
{
    if (sqlite3_step(st) == SQLITE_ROW)
        return true;
    sqlite3_reset(st);
    return false;
}

namespace {

// Table name → its columns, for schema creation.
struct TableDef
{
    const char* table;
    QList<std::tuple<const char*, FieldType, bool>> columns;
};

QList<TableDef> allTables()
{
    QList<TableDef> tables;
    forEachRecordType([&]<class R>() {
        TableDef t{RecordSchema<R>::table, {}};
        for (const auto& f : RecordSchema<R>::fields())
            t.columns.append({f.name, f.type, f.optional});
        tables.append(t);
    });
    return tables;
}

constexpr const char* kChangeMarkerTable = "ovra_change_marker";
constexpr const char* kStoreSuffixes[] = {"", "-wal", "-shm", "-journal"};
constexpr QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

void removeStoreFiles(const QString& path)
{
    for (const char* suffix : kStoreSuffixes)
        QFile::remove(path + QLatin1String(suffix));
}

// SQLite gives the -wal and -shm files the mode of the database file, so an owner-only
// database keeps them owner-only too. Files of an older version are tightened here.
bool makeOwnerOnly(const QString& path)
{
    if (!QFile::exists(path)) {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly))
            return false;
        f.close();
    }
    for (const char* suffix : kStoreSuffixes) {
        const QString file = path + QLatin1String(suffix);
        if (QFile::exists(file))
            QFile::setPermissions(file, kOwnerOnly);
    }
    return true;
}

StoreError storeError(const QString& path, const QString& message)
{
    return StoreError{QStringLiteral("%1: %2").arg(path, message)};
}

} // namespace

RecordStore::RecordStore(sqlite3* db, QString path, std::function<EditIdentity()> identity)
    : m_db(db), m_path(std::move(path)), m_identity(std::move(identity))
{
}

RecordStore::~RecordStore()
{
    // A statement may be cached under two keys: finalize each once.
    const QList<sqlite3_stmt*> all = m_statements.values();
    for (sqlite3_stmt* st : QSet<sqlite3_stmt*>(all.begin(), all.end()))
        sqlite3_finalize(st);
    sqlite3_close(m_db);
}

Expected<std::unique_ptr<RecordStore>, StoreError> RecordStore::open(const QString& path,
                                                                      std::function<EditIdentity()> identity,
                                                                      Access access)
{
    const QFileInfo info(path);
    const bool existed = info.exists();
    const bool readOnly = access == Access::readOnly;
    if (readOnly && !existed)
        return unexpected(storeError(path, QStringLiteral("no such file")));
    if (!readOnly) {
        if (!QDir().mkpath(info.absolutePath()))
            return unexpected(storeError(path, QStringLiteral("cannot create the folder %1").arg(info.absolutePath())));
        QFile::setPermissions(info.absolutePath(),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        if (!makeOwnerOnly(path))
            return unexpected(storeError(path, QStringLiteral("cannot create the file")));
    }

    const QByteArray name = QFile::encodeName(path);
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(name.constData(), &db,
                             (readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE) |
                                 SQLITE_OPEN_NOMUTEX,
                             nullptr);
    const auto failed = [&](int code) {
        const QString msg = db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(code));
        sqlite3_close(db);
        db = nullptr;
        return msg;
    };
    if (rc != SQLITE_OK) {
        const QString msg = failed(rc);
        if (!existed)
            removeStoreFiles(path);
        return unexpected(storeError(path, msg));
    }
    sqlite3_busy_timeout(db, 5000);
    std::unique_ptr<RecordStore> store(new RecordStore(db, path, std::move(identity)));
    auto ok = store->migrate(access);
    if (!ok && readOnly && (sqlite3_extended_errcode(store->m_db) & 0xff) == SQLITE_CANTOPEN) {
        // A WAL store in a folder we cannot write: SQLite cannot make its shared-memory file.
        // Nobody can be writing there either, so the file is read as it stands.
        store.reset();
        const QByteArray uri = "file:" + QUrl::fromLocalFile(path).toEncoded(QUrl::RemoveScheme) + "?immutable=1";
        rc = sqlite3_open_v2(uri.constData(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX,
                             nullptr);
        if (rc != SQLITE_OK)
            return unexpected(storeError(path, failed(rc)));
        store.reset(new RecordStore(db, path, {}));
        ok = store->migrate(access);
    }
    if (!ok) {
        store.reset();
        if (!existed)
            removeStoreFiles(path);
        return unexpected(ok.error());
    }
    store->m_dataVersion = store->dataVersion();
    return store;
}

StoreResult RecordStore::fail(const char* what) const
{
    return unexpected(storeError(m_path, QString::fromUtf8(sqlite3_errmsg(m_db)) +
                                             (what ? QStringLiteral(" (%1)").arg(QLatin1String(what)) : QString())));
}

StoreResult RecordStore::exec(const QString& sql)
{
    char* err = nullptr;
    if (sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, &err) != SQLITE_OK) {
        const QString msg = QString::fromUtf8(err ? err : sqlite3_errmsg(m_db));
        sqlite3_free(err);
        return unexpected(storeError(m_path, msg));
    }
    return {};
}

qint64 RecordStore::dataVersion() const
{
    sqlite3_stmt* st = prepare(QStringLiteral("PRAGMA data_version"));
    if (!st || sqlite3_step(st) != SQLITE_ROW)
        return -1;
    const qint64 v = sqlite3_column_int64(st, 0);
    sqlite3_reset(st);
    return v;
}

bool RecordStore::checkExternalChanges()
{
    const qint64 v = dataVersion();
    if (v < 0 || v == m_dataVersion)
        return false;
    m_dataVersion = v;
    for (const TableDef& t : allTables())
        Q_EMIT changed(QLatin1String(t.table));
    return true;
}

void RecordStore::followExternalChanges(std::chrono::milliseconds interval)
{
    if (!m_pollTimer) {
        m_pollTimer = new QTimer(this);
        connect(m_pollTimer, &QTimer::timeout, this, [this] { checkExternalChanges(); });
    }
    m_pollTimer->start(interval);
}

StoreResult RecordStore::migrate(Access access)
{
    // Reading the header first: a file that is not a database fails here, before any write.
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(m_db, "PRAGMA user_version", -1, &st, nullptr) != SQLITE_OK)
        return fail(nullptr);
    int version = 0;
    const int rc = sqlite3_step(st);
    if (rc == SQLITE_ROW)
        version = sqlite3_column_int(st, 0);
    sqlite3_finalize(st);
    if (rc != SQLITE_ROW)
        return fail(nullptr);
    if (version > kSchemaVersion)
        return unexpected(StoreError{
            QStringLiteral("the store %1 was written by a newer version of Ovra (schema %2, this version reads "
                           "up to %3)")
                .arg(m_path)
                .arg(version)
                .arg(kSchemaVersion)});
    if (auto ok = exec(QStringLiteral("PRAGMA quick_check(1)")); !ok)
        return ok;
    // Whole-history passes (statistics, export) read the file through the page cache instead of
    // copying every page through read(); a failure here only costs speed.
    (void)exec(QStringLiteral("PRAGMA mmap_size=268435456"));
    if (access == Access::readOnly) {
        if (version < kSchemaVersion)
            return unexpected(storeError(m_path, QStringLiteral("the store needs an upgrade that a read-only "
                                                                "command does not make; run a command that "
                                                                "writes first")));
        return {};
    }
    if (auto ok = exec(QStringLiteral("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;")); !ok)
        return ok;
    if (version == kSchemaVersion)
        return {};

    return save([&]() -> StoreResult {
        // Creating what is missing covers a new store and every added record type or field.
        for (const TableDef& t : allTables()) {
            QStringList cols;
            for (const auto& [name, type, optional] : t.columns) {
                const QString col = QStringLiteral("\"%1\" %2").arg(QLatin1String(name), sqlType(type, optional));
                cols << (QLatin1String(name) == QLatin1String("id") ? col + QStringLiteral(" PRIMARY KEY") : col);
            }
            if (auto ok = exec(QStringLiteral("CREATE TABLE IF NOT EXISTS \"%1\" (%2)")
                                   .arg(QLatin1String(t.table), cols.join(QStringLiteral(", "))));
                !ok)
                return ok;
            QSet<QString> existing;
            sqlite3_stmt* info = prepare(QStringLiteral("PRAGMA table_info(\"%1\")").arg(QLatin1String(t.table)));
            while (info && sqlite3_step(info) == SQLITE_ROW)
                existing.insert(QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(info, 1))));
            for (const auto& [name, type, optional] : t.columns) {
                if (existing.contains(QLatin1String(name)))
                    continue;
                if (auto ok = exec(QStringLiteral("ALTER TABLE \"%1\" ADD COLUMN \"%2\" %3")
                                       .arg(QLatin1String(t.table), QLatin1String(name), sqlType(type, optional)));
                    !ok)
                    return ok;
            }
        }
        // The change marker: triggers live in the file, so every writer renews it, the command
        // line and older builds included. A random tag rather than a counter: a store file put
        // back from a copy and edited again never comes back to a tag seen before.
        if (auto ok = exec(QStringLiteral("CREATE TABLE IF NOT EXISTS \"%1\" (id INTEGER PRIMARY KEY CHECK (id = 1), "
                                          "tag INTEGER NOT NULL);"
                                          "INSERT OR IGNORE INTO \"%1\" (id, tag) VALUES (1, random())")
                               .arg(QLatin1String(kChangeMarkerTable)));
            !ok)
            return ok;
        for (const TableDef& t : allTables()) {
            for (const char* event : {"INSERT", "UPDATE", "DELETE"}) {
                const QString sql = QStringLiteral("CREATE TRIGGER IF NOT EXISTS \"%1_%2_marks\" AFTER %2 ON \"%1\" "
                                                   "BEGIN UPDATE \"%3\" SET tag = random() WHERE id = 1; END")
                                        .arg(QLatin1String(t.table), QLatin1String(event),
                                             QLatin1String(kChangeMarkerTable));
                if (auto ok = exec(sql); !ok)
                    return ok;
            }
        }
        return exec(QStringLiteral("PRAGMA user_version = %1").arg(kSchemaVersion));
    });
}

QString RecordStore::changeMarker() const
{
    sqlite3_stmt* st = prepare(QStringLiteral("SELECT tag FROM \"%1\" WHERE id = 1").arg(QLatin1String(kChangeMarkerTable)));
    if (!st || sqlite3_step(st) != SQLITE_ROW) {
        if (st)
            sqlite3_reset(st);
        return {};
    }
    const qint64 tag = sqlite3_column_int64(st, 0);
    sqlite3_reset(st);
    return QString::number(tag, 16);
}

sqlite3_stmt* RecordStore::prepare(const QString& sql) const
{
    auto it = m_statements.constFind(sql);
    if (it != m_statements.constEnd()) {
        sqlite3_reset(*it);
        sqlite3_clear_bindings(*it);
        return *it;
    }
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v3(m_db, sql.toUtf8().constData(), -1, SQLITE_PREPARE_PERSISTENT, &st, nullptr) !=
        SQLITE_OK)
        return nullptr;
    m_statements.insert(sql, st);
    return st;
}

bool RecordStore::storesUtf8() const
{
    // A database's encoding is chosen when it is created and never changes.
    if (!m_storesUtf8) {
        sqlite3_stmt* st = prepare(QStringLiteral("PRAGMA encoding"));
        m_storesUtf8 = st && sqlite3_step(st) == SQLITE_ROW &&
                       qstrcmp(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)), "UTF-8") == 0;
        if (st)
            sqlite3_reset(st);
    }
    return *m_storesUtf8;
}

sqlite3_stmt* RecordStore::selectStatement(const char* table, const QList<Column>& cols, const QString& where,
                                           const QList<SortKey>& sort, int limit) const
{
    QStringList names;
    for (const Column& c : cols)
        names << QStringLiteral("\"%1\"").arg(QLatin1String(c.name));
    QString sql = QStringLiteral("SELECT %1 FROM \"%2\"").arg(names.join(QLatin1Char(',')), QLatin1String(table));
    if (!where.isEmpty())
        sql += QStringLiteral(" WHERE ") + where;
    QStringList order;
    for (const SortKey& k : sort) {
        // Only known fields reach the SQL text.
        if (std::any_of(cols.begin(), cols.end(), [&](const Column& c) { return k.field == QLatin1String(c.name); }))
            order << QStringLiteral("\"%1\" %2").arg(k.field, k.ascending ? QStringLiteral("ASC")
                                                                          : QStringLiteral("DESC"));
    }
    if (!order.isEmpty())
        sql += QStringLiteral(" ORDER BY ") + order.join(QLatin1Char(','));
    if (limit >= 0)
        sql += QStringLiteral(" LIMIT %1").arg(limit);
    return prepare(sql);
}

sqlite3_stmt* RecordStore::insertStatement(const char* table, const QList<Column>& cols, bool upsert)
{
    const QString key = QLatin1String(upsert ? "upsert:" : "insert:") + QLatin1String(table);
    if (sqlite3_stmt* cached = m_statements.value(key)) {
        sqlite3_reset(cached);
        sqlite3_clear_bindings(cached);
        return cached;
    }
    QStringList names;
    QStringList marks;
    for (const Column& c : cols) {
        names << QStringLiteral("\"%1\"").arg(QLatin1String(c.name));
        marks << QStringLiteral("?");
    }
    const QString sql = QStringLiteral("INSERT %1INTO \"%2\" (%3) VALUES (%4)")
                            .arg(upsert ? QStringLiteral("OR REPLACE ") : QString(), QLatin1String(table),
                                 names.join(QLatin1Char(',')), marks.join(QLatin1Char(',')));
    sqlite3_stmt* st = prepare(sql);
    if (st)
        m_statements.insert(key, st);
    return st;
}

StoreResult RecordStore::finishWrite(sqlite3_stmt* st, const char* table)
{
    const int rc = sqlite3_step(st);
    sqlite3_reset(st);
    if (rc != SQLITE_DONE)
        return fail(table);
    touched(table);
    return {};
}

StoreResult RecordStore::deleteRow(const char* table, const QUuid& id)
{
    sqlite3_stmt* st = prepare(QStringLiteral("DELETE FROM \"%1\" WHERE id = ?").arg(QLatin1String(table)));
    if (!st)
        return fail(table);
    bindValue(st, 1, FieldType::Uuid, QVariant::fromValue(id));
    const int rc = sqlite3_step(st);
    sqlite3_reset(st);
    if (rc != SQLITE_DONE)
        return fail(table);
    if (sqlite3_changes(m_db) > 0)
        touched(table);
    return {};
}

qint64 RecordStore::countRows(const char* table) const
{
    sqlite3_stmt* st = prepare(QStringLiteral("SELECT COUNT(*) FROM \"%1\"").arg(QLatin1String(table)));
    if (!st || sqlite3_step(st) != SQLITE_ROW)
        return 0;
    const qint64 n = sqlite3_column_int64(st, 0);
    sqlite3_reset(st);
    return n;
}

void RecordStore::touched(const char* table)
{
    if (m_transactionDepth > 0)
        m_pendingChanges.insert(QLatin1String(table));
    else
        Q_EMIT changed(QLatin1String(table));
}

StoreResult RecordStore::save(const std::function<StoreResult()>& body)
{
    if (m_transactionDepth > 0) {
        ++m_transactionDepth;
        StoreResult r = body();
        --m_transactionDepth;
        return r;
    }
    if (auto ok = exec(QStringLiteral("BEGIN IMMEDIATE")); !ok)
        return ok;
    ++m_transactionDepth;
    StoreResult r = body();
    --m_transactionDepth;
    if (r) {
        if (auto ok = exec(QStringLiteral("COMMIT")); !ok)
            r = ok;
    }
    if (!r) {
        (void)exec(QStringLiteral("ROLLBACK"));
        m_pendingChanges.clear();
        return r;
    }
    const QSet<QString> changes = std::exchange(m_pendingChanges, {});
    for (const QString& t : changes)
        Q_EMIT changed(t);
    return r;
}
