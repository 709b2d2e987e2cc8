#include "RecordSamples.h"
#include "StoreFixture.h"

#include <QSignalSpy>
#include <sqlite3.h>

namespace {

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestRecordStore : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void roundTripsEveryFieldOfEveryRecord()
    {
        StoreFixture fx;
        QMap<QString, std::function<void(RecordStore&)>> checks;
        {
            auto store = fx.open();
            QVERIFY(store);
            forEachRecordType([&]<class R>() {
                const R full = distinctiveRecord<R>();
                const R defaults; // optionals absent
                QVERIFY(store->insert(full));
                QVERIFY(store->insert(defaults));
                checks.insert(QLatin1String(RecordSchema<R>::table), [full, defaults](RecordStore& s) {
                    const auto a = s.find<R>(full.id);
                    const auto b = s.find<R>(defaults.id);
                    QVERIFY(a && b);
                    compareAllFields(*a, full);
                    compareAllFields(*b, defaults);
                });
            });
        }
        auto reopened = fx.open(); // values come back from disk, not from a cache
        QVERIFY(reopened);
        for (const auto& check : std::as_const(checks))
            check(*reopened);
    }

    void emptyStringIsNotAbsent()
    {
        StoreFixture fx;
        auto store = fx.open();
        Transcription t;
        t.rawWhisperText = QString();
        QVERIFY(store->insert(t));
        const auto back = store->find<Transcription>(t.id);
        QVERIFY(back->rawWhisperText.has_value());
        QVERIFY(back->rawWhisperText->isEmpty());
        QVERIFY(!back->aiOutputText.has_value());
    }

    void fetchFiltersAndSorts()
    {
        StoreFixture fx;
        auto store = fx.open();
        const QDateTime base = QDateTime::fromSecsSinceEpoch(1767225600, Qt::UTC);
        for (int i : {3, 1, 2, 5, 4}) {
            Transcription t;
            t.createdAt = base.addSecs(i);
            t.duration = i;
            QVERIFY(store->insert(t));
        }
        const auto newestFirst = store->fetch<Transcription>({}, {{QStringLiteral("createdAt"), false}});
        QCOMPARE(newestFirst.size(), 5);
        for (int i = 0; i < 5; ++i)
            QCOMPARE(newestFirst[i].duration, double(5 - i));
        const auto longOnes = store->fetch<Transcription>([](const Transcription& t) { return t.duration > 2; },
                                                          {{QStringLiteral("duration"), true}});
        QCOMPARE(longOnes.size(), 3);
        QCOMPARE(longOnes.first().duration, 3.0);
        // An unknown sort field is ignored, never pasted into SQL.
        QCOMPARE(store->fetch<Transcription>({}, {{QStringLiteral("x; DROP TABLE transcription"), true}}).size(), 5);
        QCOMPARE(store->count<Transcription>(), 5);
    }

    // A scan hands the named columns in the order named, texts as their stored bytes, NULL apart
    // from the empty text; an unknown name reads nothing.
    void scanReadsColumnsInPlace()
    {
        StoreFixture fx;
        auto store = fx.open();
        Transcription spoken;
        spoken.rawWhisperText = QStringLiteral("été \U0001F44D");
        spoken.duration = 2.5;
        spoken.aiFixCount = 3;
        Transcription empty;
        empty.rawWhisperText = QString();
        empty.duration = 7;
        QVERIFY(store->insert(spoken));
        QVERIFY(store->insert(empty));
        using Row = std::tuple<QByteArray, bool, double, std::optional<qint64>>;
        const auto scanned = [&](const QString& where) {
            QList<Row> rows;
            const bool ok = store->scan<Transcription>(
                {QStringLiteral("rawWhisperText"), QStringLiteral("duration"), QStringLiteral("aiFixCount")},
                [&](const StoreRow& row) {
                    rows.append({row.utf8(0).toByteArray(), row.isNull(0), row.real(1),
                                 row.isNull(2) ? std::nullopt : std::optional(row.integer(2))});
                },
                where);
            return ok ? rows : QList<Row>{};
        };
        QCOMPARE(scanned(QStringLiteral("\"duration\" < 5")),
                 QList<Row>{Row(QStringLiteral("été \U0001F44D").toUtf8(), false, 2.5, 3)});
        QCOMPARE(scanned(QStringLiteral("\"duration\" > 5")), QList<Row>{Row(QByteArray(), false, 7, std::nullopt)});
        int visits = 0;
        QVERIFY(!store->scan<Transcription>({QStringLiteral("duration"), QStringLiteral("nope")},
                                            [&](const StoreRow&) { ++visits; }));
        QCOMPARE(visits, 0);
    }

    void deletingSyncedRecordsLeavesTombstones()
    {
        StoreFixture fx;
        auto store = fx.open();
        TranscriptionMode mode;
        PromptPreset prompt;
        DictionaryEntry entry;
        Note note;
        Transcription dictation;
        QVERIFY(store->insert(mode) && store->insert(prompt) && store->insert(entry) && store->insert(note) &&
                store->insert(dictation));
        QVERIFY(store->remove<TranscriptionMode>(mode.id));
        QVERIFY(store->remove<PromptPreset>(prompt.id));
        QVERIFY(store->remove<DictionaryEntry>(entry.id));
        QVERIFY(store->remove<Note>(note.id));
        QVERIFY(store->remove<Transcription>(dictation.id));
        QVERIFY(store->remove<Note>(QUuid::createUuid())); // nothing there: no tombstone

        const auto stones = store->fetch<DeletionTombstone>();
        QCOMPARE(stones.size(), 4);
        QMap<QString, QUuid> byType;
        for (const auto& t : stones)
            byType.insert(t.typeRaw, t.recordID);
        QCOMPARE(byType.value(QStringLiteral("mode")), mode.id);
        QCOMPARE(byType.value(QStringLiteral("prompt")), prompt.id);
        QCOMPARE(byType.value(QStringLiteral("dictionary")), entry.id);
        QCOMPARE(byType.value(QStringLiteral("note")), note.id);
        QCOMPARE(store->count<Transcription>(), 0);
        QCOMPARE(store->count<TranscriptionMode>(), 0);
    }

    void updateStampsSyncedRecordsButReplaceKeepsStamps()
    {
        StoreFixture fx;
        auto store = fx.open();
        Note note;
        note.updatedAt = QDateTime::fromSecsSinceEpoch(1000, Qt::UTC);
        QVERIFY(store->insert(note));
        note.title = QStringLiteral("edited");
        const QDateTime before = DateTime::now();
        QVERIFY(store->update(note));
        auto back = store->find<Note>(note.id);
        QCOMPARE(back->title, QStringLiteral("edited"));
        QVERIFY(back->updatedAt >= before.addMSecs(-1));
        QCOMPARE(back->lastEditedDeviceID, QStringLiteral("DEVICE-1"));
        QCOMPARE(back->lastEditedDeviceName, QStringLiteral("Poste de test"));

        Note remote = *back;
        remote.updatedAt = QDateTime::fromSecsSinceEpoch(2000, Qt::UTC);
        remote.lastEditedDeviceID = QStringLiteral("OTHER");
        QVERIFY(store->replace(remote));
        back = store->find<Note>(note.id);
        QCOMPARE(back->lastEditedDeviceID, QStringLiteral("OTHER"));
        QCOMPARE(back->updatedAt, remote.updatedAt);
    }

    void saveIsAllOrNothing()
    {
        StoreFixture fx;
        auto store = fx.open();
        QSignalSpy spy(store.get(), &RecordStore::changed);
        Transcription first;
        const StoreResult failed = store->save([&]() -> StoreResult {
            if (auto ok = store->insert(first); !ok)
                return ok;
            return store->insert(first); // same id twice: the second insert fails
        });
        QVERIFY(!failed);
        QVERIFY(!failed.error().message.isEmpty());
        QCOMPARE(store->count<Transcription>(), 0);
        QCOMPARE(spy.count(), 0);

        const StoreResult ok = store->save([&]() -> StoreResult {
            for (int i = 0; i < 3; ++i)
                if (auto r = store->insert(Transcription{}); !r)
                    return r;
            return store->insert(Note{});
        });
        QVERIFY(ok);
        QCOMPARE(store->count<Transcription>(), 3);
        QCOMPARE(spy.count(), 2); // one signal per record type touched, after the commit
        QStringList tables;
        for (const auto& args : spy)
            tables << args.first().toString();
        tables.sort();
        QCOMPARE(tables, (QStringList{QStringLiteral("note"), QStringLiteral("transcription")}));
    }

    void refusesFilesItCannotTrust_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<QString>("expected");
        QTest::newRow("text file") << QByteArray("this is not a database at all, just some text\n").repeated(100)
                                   << QStringLiteral("not a database");
        QByteArray header("SQLite format 3\0", 16);
        QTest::newRow("truncated database") << header + QByteArray(84, '\x01') << QString();
    }
    void refusesFilesItCannotTrust()
    {
        QFETCH(QByteArray, contents);
        QFETCH(QString, expected);
        StoreFixture fx;
        QDir().mkpath(QFileInfo(fx.path).absolutePath());
        QFile f(fx.path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(contents);
        f.close();
        auto s = RecordStore::open(fx.path, {});
        QVERIFY(!s);
        QVERIFY(!s.error().message.isEmpty());
        if (!expected.isEmpty())
            QVERIFY2(s.error().message.contains(expected), qPrintable(s.error().message));
        QVERIFY2(s.error().message.contains(fx.path), qPrintable(s.error().message));
        QCOMPARE(fileBytes(fx.path), contents); // never overwritten or truncated
        // Read-only commands get the same refusal.
        auto r = RecordStore::open(fx.path, {}, RecordStore::Access::readOnly);
        QVERIFY(!r);
        QVERIFY2(r.error().message.contains(fx.path), qPrintable(r.error().message));
    }

    void refusesNewerSchemaUntouched()
    {
        StoreFixture fx;
        {
            auto store = fx.open();
            QVERIFY(store->insert(Transcription{}));
        }
        sqlite3* db = nullptr;
        QCOMPARE(sqlite3_open(fx.path.toUtf8().constData(), &db), SQLITE_OK);
        QCOMPARE(sqlite3_exec(db, "PRAGMA user_version = 99", nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
        const QByteArray before = fileBytes(fx.path);

        auto s = RecordStore::open(fx.path, {});
        QVERIFY(!s);
        QVERIFY2(s.error().message.contains(QStringLiteral("newer")), qPrintable(s.error().message));
        QCOMPARE(fileBytes(fx.path), before);
    }

    void unwritableFolderLeavesNothingBehind()
    {
        QTemporaryDir dir;
        const QString blocker = dir.filePath(QStringLiteral("file"));
        QFile f(blocker);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        auto s = RecordStore::open(blocker + QStringLiteral("/ovra/ovra.sqlite"), {});
        QVERIFY(!s);
        QVERIFY(!s.error().message.isEmpty());
        QCOMPARE(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList{QStringLiteral("file")});
    }

    void migratesAnOlderSchemaKeepingRows()
    {
        StoreFixture fx;
        QDir().mkpath(QFileInfo(fx.path).absolutePath());
        const QUuid id = QUuid::createUuid();
        sqlite3* db = nullptr;
        QCOMPARE(sqlite3_open(fx.path.toUtf8().constData(), &db), SQLITE_OK);
        // An early store: fewer columns, no version stamp.
        const QByteArray sql = "CREATE TABLE transcription (id TEXT PRIMARY KEY, text TEXT NOT NULL DEFAULT '', "
                               "createdAt REAL NOT NULL DEFAULT 0);"
                               "INSERT INTO transcription (id, text, createdAt) VALUES ('" +
                               uuidText(id).toLatin1() + "', 'ancien', 100.5);";
        QCOMPARE(sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);

        auto store = fx.open();
        QVERIFY(store);
        const auto old = store->find<Transcription>(id);
        QVERIFY(old);
        QCOMPARE(old->text, QStringLiteral("ancien"));
        QCOMPARE(old->createdAt, DateTime::fromReferenceSeconds(100.5));
        QVERIFY(!old->aiCostUSD);
        QCOMPARE(old->transcriptionModel, QString());
        Transcription fresh;
        fresh.aiCostUSD = 0.01;
        QVERIFY(store->insert(fresh));
        QCOMPARE(store->find<Transcription>(fresh.id)->aiCostUSD, 0.01);
    }

    void storeFilesAreOwnerOnly()
    {
        StoreFixture fx;
        QDir().mkpath(QFileInfo(fx.path).absolutePath());
        QFile::setPermissions(QFileInfo(fx.path).absolutePath(), QFileDevice::Permissions(0x7755));
        auto store = fx.open();
        QVERIFY(store->insert(Note{})); // the -wal and -shm files exist while the store is open
        const auto perms = [](const QString& p) { return int(QFile::permissions(p)) & 0x0777; };
        for (const char* suffix : {"", "-wal", "-shm"}) {
            const QString file = fx.path + QLatin1String(suffix);
            QVERIFY2(QFile::exists(file), suffix);
            QCOMPARE(perms(file), 0x0600);
        }
        QCOMPARE(perms(QFileInfo(fx.path).absolutePath()), 0x0700);

        // A store left readable by an older version is tightened when opened.
        store.reset();
        QFile::setPermissions(fx.path, QFileDevice::Permissions(0x6644));
        store = fx.open();
        QCOMPARE(perms(fx.path), 0x0600);
    }

    // The desktop application sees what a command-line process committed.
    void noticesCommitsOfAnotherConnection()
    {
        StoreFixture fx;
        auto app = fx.open();
        auto command = fx.open();
        QSignalSpy spy(app.get(), &RecordStore::changed);
        QVERIFY(!app->checkExternalChanges());
        QVERIFY(app->insert(Note{}));
        spy.clear();
        QVERIFY(!app->checkExternalChanges()); // its own commit was already announced

        QVERIFY(command->insert(Transcription{}));
        QVERIFY(app->checkExternalChanges());
        QStringList tables;
        for (const auto& args : spy)
            tables << args.first().toString();
        QVERIFY(tables.contains(QStringLiteral("transcription")));
        QVERIFY(!app->checkExternalChanges());

        app->followExternalChanges(std::chrono::milliseconds(10));
        spy.clear();
        QVERIFY(command->insert(Transcription{}));
        QTRY_VERIFY(!spy.isEmpty());
        QCOMPARE(app->count<Transcription>(), 2);
    }

    void readOnlyOpenWritesNothing()
    {
        StoreFixture fx;
        auto missing = RecordStore::open(fx.path, {}, RecordStore::Access::readOnly);
        QVERIFY(!missing);
        QVERIFY2(missing.error().message.contains(fx.path), qPrintable(missing.error().message));
        QVERIFY(!QFileInfo::exists(QFileInfo(fx.path).absolutePath())); // not even the folder

        {
            auto store = fx.open();
            QVERIFY(store->insert(Note{}));
        }
        const QByteArray before = fileBytes(fx.path);
        auto reader = RecordStore::open(fx.path, {}, RecordStore::Access::readOnly);
        QVERIFY2(reader, reader ? "" : qPrintable(reader.error().message));
        QCOMPARE((*reader)->count<Note>(), 1);
        const StoreResult write = (*reader)->insert(Note{});
        QVERIFY(!write);
        QVERIFY2(write.error().message.contains(fx.path), qPrintable(write.error().message));
        reader->reset();
        QCOMPARE(fileBytes(fx.path), before);
    }

    // The change marker moves with every commit that touches a record, whoever makes it, and only
    // then: a sync trusts an equal marker to mean "nothing to send".
    void changeMarkerFollowsEveryWriter_data()
    {
        QTest::addColumn<std::function<bool(RecordStore&, sqlite3*)>>("change");
        QTest::addColumn<bool>("moves");
        using Change = std::function<bool(RecordStore&, sqlite3*)>;
        const auto sql = [](const char* text) -> Change {
            return [text](RecordStore&, sqlite3* db) { return sqlite3_exec(db, text, nullptr, nullptr, nullptr) == SQLITE_OK; };
        };
        QTest::newRow("read") << Change([](RecordStore& s, sqlite3*) { return s.fetch<Note>().size() == 1; }) << false;
        QTest::newRow("rolled back") << Change([](RecordStore& s, sqlite3*) {
            return !s.save([&]() -> StoreResult {
                (void)s.insert(Note{});
                return unexpected(StoreError{QStringLiteral("abandon")});
            });
        }) << false;
        QTest::newRow("insert") << Change([](RecordStore& s, sqlite3*) { return bool(s.insert(Transcription{})); }) << true;
        QTest::newRow("update") << Change([](RecordStore& s, sqlite3*) {
            Note n = s.fetch<Note>().first();
            n.title = QStringLiteral("modifiée");
            return bool(s.update(n));
        }) << true;
        QTest::newRow("remove") << Change([](RecordStore& s, sqlite3*) { return bool(s.remove<Note>(s.fetch<Note>().first().id)); })
                                << true;
        QTest::newRow("other connection inserts")
            << sql("INSERT INTO transcription (id) VALUES ('0B4E6A52-2F7B-4C55-9E36-6E3C8A1B7D11')") << true;
        QTest::newRow("other connection updates") << sql("UPDATE note SET title = 'ailleurs'") << true;
        QTest::newRow("other connection deletes") << sql("DELETE FROM note") << true;
        QTest::newRow("other connection, nothing matched") << sql("UPDATE note SET title = 'x' WHERE 0") << false;
    }
    void changeMarkerFollowsEveryWriter()
    {
        QFETCH(std::function<bool(RecordStore&, sqlite3*)>, change);
        QFETCH(bool, moves);
        StoreFixture fx;
        auto store = fx.open();
        QVERIFY(store->insert(Note{}));
        const QString before = store->changeMarker();
        QVERIFY(!before.isEmpty());
        store.reset();
        store = fx.open();
        QCOMPARE(store->changeMarker(), before); // kept in the file

        sqlite3* other = nullptr;
        QCOMPARE(sqlite3_open(fx.path.toUtf8().constData(), &other), SQLITE_OK);
        QVERIFY(change(*store, other));
        sqlite3_close(other);
        QCOMPARE(store->changeMarker() != before, moves);
    }

    // A store of the previous schema opens with its rows and gets the marker, which then moves
    // even for a writer that knows nothing of it.
    void olderStoreGetsTheChangeMarker()
    {
        StoreFixture fx;
        Note kept;
        kept.title = QStringLiteral("d'avant");
        {
            auto store = fx.open();
            QVERIFY(store->insert(kept));
        }
        sqlite3* db = nullptr;
        QCOMPARE(sqlite3_open(fx.path.toUtf8().constData(), &db), SQLITE_OK);
        QStringList drops;
        sqlite3_stmt* st = nullptr;
        QCOMPARE(sqlite3_prepare_v2(db, "SELECT name FROM sqlite_master WHERE type = 'trigger'", -1, &st, nullptr), SQLITE_OK);
        while (sqlite3_step(st) == SQLITE_ROW)
            drops << QStringLiteral("DROP TRIGGER \"%1\";").arg(QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0))));
        sqlite3_finalize(st);
        QVERIFY(!drops.isEmpty());
        const QByteArray downgrade = (drops.join(QString()) + QStringLiteral("DROP TABLE ovra_change_marker; PRAGMA user_version = 1;")).toUtf8();
        QCOMPARE(sqlite3_exec(db, downgrade.constData(), nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);

        auto store = fx.open();
        QVERIFY(store);
        QCOMPARE(store->find<Note>(kept.id)->title, kept.title);
        const QString marker = store->changeMarker();
        QVERIFY(!marker.isEmpty());
        QCOMPARE(sqlite3_open(fx.path.toUtf8().constData(), &db), SQLITE_OK);
        QCOMPARE(sqlite3_exec(db, "UPDATE note SET title = 'ailleurs'", nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
        QVERIFY(store->changeMarker() != marker);
    }
};

QTEST_GUILESS_MAIN(TestRecordStore)
#include "tst_recordstore.moc"
