// Recordings of stored dictations: removed once used unless the user keeps some, and then only
// the newest ones, each named in its dictation's record.
#include "dictation/KeptRecordings.h"
#include "store/Records.h"
#include "store/Settings.h"
#include "store/StoreFixture.h"

#include <QDir>
#include <QFile>

class KeptRecordingsTest : public QObject
{
    Q_OBJECT

    QString recording(const QTemporaryDir& dir, int i)
    {
        const QString path = dir.filePath(QStringLiteral("run/r%1.m4a").arg(i));
        QDir().mkpath(dir.filePath("run"));
        QFile f(path);
        if (f.open(QIODevice::WriteOnly))
            f.write("audio");
        return path;
    }

private Q_SLOTS:
    void keepsTheNewest_data()
    {
        QTest::addColumn<QVariant>("count");
        QTest::addColumn<int>("kept");
        QTest::newRow("absent: none kept") << QVariant() << 0;
        QTest::newRow("0") << QVariant(0) << 0;
        QTest::newRow("negative") << QVariant(-3) << 0;
        QTest::newRow("2 of 4") << QVariant(2) << 2;
        QTest::newRow("more than there are") << QVariant(10) << 4;
    }
    void keepsTheNewest()
    {
        QFETCH(QVariant, count);
        QFETCH(int, kept);
        StoreFixture fx;
        auto store = fx.open();
        QVERIFY(store);
        Settings settings(fx.dir.filePath("config"));
        if (count.isValid())
            settings.setValue(SharedDefaultsKey::dictationAudioRetentionCount, count);
        KeptRecordings recordings(fx.dir.filePath("data/Recordings"), settings);

        QList<QUuid> ids;
        const QDateTime start = QDateTime::currentDateTimeUtc();
        for (int i = 0; i < 4; ++i) {
            const QString file = recording(fx.dir, i);
            Transcription t;
            t.text = QStringLiteral("dictée %1").arg(i);
            t.createdAt = start.addSecs(i);
            t.audioFileName = recordings.nameFor(file, t.id);
            QVERIFY(store->save([&]() -> StoreResult {
                if (auto ok = store->insert(t); !ok)
                    return ok;
                return recordings.prune(*store);
            }));
            // Nothing is moved before the dictation is stored.
            QVERIFY(QFile::exists(file));
            recordings.settle(file, t.audioFileName);
            // Used: never left where the recorder put it.
            QVERIFY(!QFile::exists(file));
            ids.prepend(t.id);
        }
        const QStringList files = QDir(recordings.folder()).entryList(QDir::Files);
        QCOMPARE(files.size(), kept);
        for (int i = 0; i < ids.size(); ++i) {
            const auto t = store->find<Transcription>(ids[i]);
            QVERIFY(t);
            QCOMPARE(t->audioFileName.has_value(), i < kept);
            if (i < kept) {
                QVERIFY(files.contains(*t->audioFileName));
                QCOMPARE(QFile(QDir(recordings.folder()).filePath(*t->audioFileName)).permissions() & 0x0077, 0);
            }
        }
    }

    void aRecordPointingOutsideTheFolderRemovesNothingThere()
    {
        StoreFixture fx;
        auto store = fx.open();
        QVERIFY(store);
        Settings settings(fx.dir.filePath("config"));
        settings.setValue(SharedDefaultsKey::dictationAudioRetentionCount, 1);
        KeptRecordings recordings(fx.dir.filePath("data/Recordings"), settings);
        const QString victim = recording(fx.dir, 99);
        Transcription old;
        old.createdAt = QDateTime::currentDateTimeUtc().addDays(-1);
        old.audioFileName = QStringLiteral("../../run/r99.m4a");
        QVERIFY(store->insert(old));
        Transcription t;
        const QString file = recording(fx.dir, 1);
        t.audioFileName = recordings.nameFor(file, t.id);
        QVERIFY(store->insert(t));
        recordings.settle(file, t.audioFileName);
        QVERIFY(recordings.prune(*store));
        QVERIFY(QFile::exists(victim));
        QVERIFY(!store->find<Transcription>(old.id)->audioFileName);
        QVERIFY(store->find<Transcription>(t.id)->audioFileName);
    }
};

QTEST_GUILESS_MAIN(KeptRecordingsTest)
#include "tst_keptrecordings.moc"
