// The folder of recordings kept after failed dictations: what is kept, for how long, and what a
// damaged folder does to it.
#include "dictation/FailedRecordings.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

QString writeRecording(const QTemporaryDir& dir, const QString& name, const QByteArray& content = "audio")
{
    const QString path = dir.filePath(name);
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(content);
    return path;
}

FailedRecording described(int minutesAgo)
{
    FailedRecording r;
    r.modeName = QStringLiteral("Mode");
    r.error = QStringLiteral("Erreur %1").arg(minutesAgo);
    r.date = QDateTime::currentDateTimeUtc().addSecs(-60 * minutesAgo);
    return r;
}

} // namespace

class FailedRecordingsTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void keepsTheNewestTwenty()
    {
        QTemporaryDir dir;
        FailedRecordings kept(dir.filePath("data/FailedRecordings"));
        QSignalSpy changed(&kept, &FailedRecordings::changed);
        // Oldest first, as dictations fail one after the other.
        QList<FailedRecording> all;
        for (int i = 21; i >= 1; --i) {
            const auto r = kept.keep(writeRecording(dir, QStringLiteral("r%1.m4a").arg(i)), described(i));
            QVERIFY(r);
            all.prepend(*r);
        }
        QCOMPARE(changed.size(), 21);
        const QList<FailedRecording> listed = kept.list();
        QCOMPARE(listed.size(), FailedRecordings::kKept);
        QCOMPARE(listed.first().id, all.first().id);
        QCOMPARE(kept.last()->error, "Erreur 1");
        QCOMPARE(listed.last().error, "Erreur 20");
        // The oldest is gone with its description; nothing else is left behind.
        QVERIFY(!QFile::exists(all.last().audioFile));
        QCOMPARE(QDir(kept.folder()).entryList(QDir::Files).size(), 2 * FailedRecordings::kKept);
        QVERIFY(listed.first().audioFile.endsWith(".m4a"));
    }

    void updateAndRemove()
    {
        QTemporaryDir dir;
        FailedRecordings kept(dir.filePath("kept"));
        const auto r = kept.keep(writeRecording(dir, "a.m4a"), described(0));
        QVERIFY(r);
        QVERIFY(kept.updateError(r->id, "Nouvelle erreur"));
        QCOMPARE(kept.find(r->id)->error, "Nouvelle erreur");
        QVERIFY(!kept.updateError(QUuid::createUuid(), "x"));
        kept.remove(r->id);
        QVERIFY(!kept.find(r->id));
        QVERIFY(QDir(kept.folder()).entryList(QDir::Files).isEmpty());
    }

    void damagedDescriptionsAreSkippedAndLeftAlone_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::newRow("not JSON") << QByteArray("{\"id\": ");
        QTest::newRow("an array") << QByteArray("[]");
        QTest::newRow("no date") << QByteArray("{\"id\":\"ID\",\"audioFile\":\"ID.m4a\"}");
        QTest::newRow("audio outside the folder")
            << QByteArray("{\"id\":\"ID\",\"audioFile\":\"../victim.m4a\",\"date\":\"2026-01-01T00:00:00Z\"}");
        QTest::newRow("another entry's audio")
            << QByteArray("{\"id\":\"ID\",\"audioFile\":\"OTHER.m4a\",\"date\":\"2026-01-01T00:00:00Z\"}");
        QTest::newRow("audio missing")
            << QByteArray("{\"id\":\"ID\",\"audioFile\":\"ID.wav\",\"date\":\"2026-01-01T00:00:00Z\"}");
    }
    void damagedDescriptionsAreSkippedAndLeftAlone()
    {
        QFETCH(QByteArray, json);
        QTemporaryDir dir;
        FailedRecordings kept(dir.filePath("kept"));
        const auto good = kept.keep(writeRecording(dir, "good.m4a"), described(5));
        QVERIFY(good);
        const QString other = good->id.toString(QUuid::WithoutBraces).toUpper();
        const QString id = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
        json.replace("OTHER", other.toUtf8()).replace("ID", id.toUtf8());
        const QString damaged = QDir(kept.folder()).filePath(id + ".json");
        QFile f(damaged);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(json);
        f.close();
        writeRecording(dir, "victim.m4a");
        QFile::copy(dir.filePath("victim.m4a"), QDir(kept.folder()).filePath(id + ".m4a"));

        QCOMPARE(kept.list().size(), 1);
        QCOMPARE(kept.last()->id, good->id);
        QVERIFY(!kept.find(QUuid::fromString(id)));
        kept.remove(QUuid::fromString(id));
        // More recordings than fit: the damaged description is never removed nor rewritten.
        for (int i = 0; i < FailedRecordings::kKept + 2; ++i)
            QVERIFY(kept.keep(writeRecording(dir, QStringLiteral("n%1.m4a").arg(i)), described(0)));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), json);
        QVERIFY(QFile::exists(dir.filePath("victim.m4a")));
        QCOMPARE(kept.list().size(), FailedRecordings::kKept);
    }

    void aFolderThatCannotBeCreatedLeavesTheRecordingWhereItIs()
    {
        QTemporaryDir dir;
        writeRecording(dir, "blocker", "a file where the folder should be");
        FailedRecordings kept(dir.filePath("blocker/FailedRecordings"));
        const QString audio = writeRecording(dir, "a.m4a");
        const auto r = kept.keep(audio, described(0));
        QVERIFY(!r);
        QVERIFY(r.error().contains(dir.filePath("blocker/FailedRecordings")));
        QVERIFY(QFile::exists(audio));
        QVERIFY(kept.list().isEmpty());
    }
};

QTEST_GUILESS_MAIN(FailedRecordingsTest)
#include "tst_failedrecordings.moc"
