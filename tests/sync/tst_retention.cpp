#include "stats/StatsSnapshot.h"
#include "store/DebugLog.h"
#include "store/Settings.h"
#include "store/StoreFixture.h"
#include "sync/TranscriptionRetention.h"

#include <QDir>
#include <QFile>

namespace {

const QDateTime kNow = QDateTime::fromString(QStringLiteral("2026-03-15T12:00:00Z"), Qt::ISODate);

struct Env
{
    StoreFixture fx;
    std::unique_ptr<RecordStore> store = fx.open();
    Settings settings{fx.dir.filePath(QStringLiteral("config"))};
    DebugLog log{fx.dir.filePath(QStringLiteral("data"))};
    QString recordings = fx.dir.filePath(QStringLiteral("data/Recordings"));

    TranscriptionRetention retention()
    {
        return TranscriptionRetention({*store, settings, log, nullptr, recordings, [] { return kNow; }});
    }
};

} // namespace

class TestRetention : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void dictations_data()
    {
        QTest::addColumn<QVariant>("days");
        QTest::addColumn<int>("ageDays");
        QTest::addColumn<bool>("purged");
        QTest::newRow("absent: forever") << QVariant() << 4000 << false;
        QTest::newRow("0: forever") << QVariant(0) << 4000 << false;
        QTest::newRow("negative: forever") << QVariant(-5) << 4000 << false;
        QTest::newRow("not a number") << QVariant(QStringLiteral("30")) << 4000 << false;
        QTest::newRow("younger than the period") << QVariant(30) << 29 << false;
        QTest::newRow("older than the period") << QVariant(30) << 31 << true;
        QTest::newRow("absurdly long period") << QVariant(1e300) << 4000 << false;
    }

    void dictations()
    {
        QFETCH(QVariant, days);
        QFETCH(int, ageDays);
        QFETCH(bool, purged);
        Env e;
        if (days.isValid())
            e.settings.setValue(SharedDefaultsKey::dictationRetentionDays, days);
        QDir().mkpath(e.recordings);
        QFile audio(e.recordings + QStringLiteral("/kept.m4a"));
        QVERIFY(audio.open(QIODevice::WriteOnly));
        audio.close();
        Transcription t;
        t.text = QStringLiteral("Texte final poli.");
        t.rawWhisperText = QStringLiteral("e\u0301te\u0301 au lac \U0001F44D");
        t.aiOutputText = t.text;
        t.audioFileName = QStringLiteral("kept.m4a");
        t.createdAt = kNow.addDays(-ageDays);
        QVERIFY(e.store->insert(t));
        QVERIFY(refreshSnapshot(*e.store, e.settings, kNow));
        const BackupStats before = readSnapshot(e.settings)->stats;

        QCOMPARE(e.retention().purgeExpired(), purged ? 1 : 0);
        const Transcription after = *e.store->find<Transcription>(t.id);
        QCOMPARE(after.purgedAt.has_value(), purged);
        QCOMPARE(after.text.isEmpty(), purged);
        QCOMPARE(after.rawWhisperText.has_value(), !purged);
        QCOMPARE(audio.exists(), !purged);
        QCOMPARE(after.audioFileName.has_value(), !purged);
        // The statistics do not move.
        QCOMPARE(computeStats(*e.store, kNow), before);
    }

    void purgedOnceNeverAgain()
    {
        Env e;
        e.settings.setValue(SharedDefaultsKey::dictationRetentionDays, 7);
        Transcription t;
        t.text = QStringLiteral("un deux");
        t.createdAt = kNow.addDays(-10);
        t.purgeContent();
        t.storedWordCount = 42;
        t.purgedAt = kNow.addDays(-2);
        QVERIFY(e.store->insert(t));
        QCOMPARE(e.retention().purgeExpired(), 0);
        const Transcription after = *e.store->find<Transcription>(t.id);
        QCOMPARE(after.purgedAt, t.purgedAt);
        QCOMPARE(after.storedWordCount, std::optional<int>(42));
        QCOMPARE(computeStats(*e.store, kNow).totalWords, 42);
    }

    void recordingOutsideTheFolderIsNeverTouched()
    {
        Env e;
        e.settings.setValue(SharedDefaultsKey::dictationRetentionDays, 1);
        QFile outside(e.fx.dir.filePath(QStringLiteral("precious.m4a")));
        QVERIFY(outside.open(QIODevice::WriteOnly));
        outside.close();
        Transcription t;
        t.audioFileName = QStringLiteral("../precious.m4a");
        t.createdAt = kNow.addDays(-3);
        QVERIFY(e.store->insert(t));
        QCOMPARE(e.retention().purgeExpired(), 1);
        QVERIFY(outside.exists());
    }

    void notes_data()
    {
        QTest::addColumn<QVariant>("days");
        QTest::addColumn<int>("editedDaysAgo");
        QTest::addColumn<bool>("deleted");
        QTest::newRow("absent: forever") << QVariant() << 4000 << false;
        QTest::newRow("0: forever") << QVariant(0) << 4000 << false;
        QTest::newRow("edited within the period") << QVariant(10) << 9 << false;
        QTest::newRow("untouched for longer") << QVariant(10) << 11 << true;
    }

    void notes()
    {
        QFETCH(QVariant, days);
        QFETCH(int, editedDaysAgo);
        QFETCH(bool, deleted);
        Env e;
        if (days.isValid())
            e.settings.setValue(SharedDefaultsKey::noteRetentionDays, days);
        Note n;
        n.createdAt = kNow.addDays(-5000);
        n.updatedAt = kNow.addDays(-editedDaysAgo);
        QVERIFY(e.store->insert(n));
        QCOMPARE(e.retention().purgeNotes(), deleted ? 1 : 0);
        QCOMPARE(e.store->find<Note>(n.id).has_value(), !deleted);
        const auto tombstones = e.store->fetch<DeletionTombstone>();
        QCOMPARE(tombstones.size(), deleted ? 1 : 0);
        if (deleted) {
            QCOMPARE(tombstones.first().recordID, n.id);
            QCOMPARE(tombstones.first().typeRaw, QStringLiteral("note"));
        }
    }

    void promptTrash_data()
    {
        QTest::addColumn<bool>("trashed");
        QTest::addColumn<int>("trashedDaysAgo");
        QTest::addColumn<bool>("deleted");
        QTest::newRow("trashed 29 days ago") << true << 29 << false;
        QTest::newRow("trashed 31 days ago") << true << 31 << true;
        QTest::newRow("not in the trash") << false << 31 << false;
    }

    void promptTrash()
    {
        QFETCH(bool, trashed);
        QFETCH(int, trashedDaysAgo);
        QFETCH(bool, deleted);
        Env e;
        PromptPreset p;
        p.name = QStringLiteral("Ancien");
        p.isTrashed = trashed;
        p.trashedAt = kNow.addDays(-trashedDaysAgo);
        QVERIFY(e.store->insert(p));
        PromptPreset pinned;
        pinned.name = QStringLiteral("Épinglé");
        pinned.isPinned = true;
        QVERIFY(e.store->insert(pinned));
        QCOMPARE(e.retention().purgePromptTrash(), deleted ? 1 : 0);
        QCOMPARE(e.store->find<PromptPreset>(p.id).has_value(), !deleted);
        if (deleted) // the companions' list is republished
            QVERIFY(e.settings.value(QStringLiteral("mirelo.kb.pinnedPresets")).toString().contains(pinned.name));
    }
};

QTEST_GUILESS_MAIN(TestRetention)
#include "tst_retention.moc"
