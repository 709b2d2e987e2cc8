// `ovra retry` as a user runs it: recordings of failed dictations kept in the data folder are
// listed and transcribed again by the real binary, with a local server for the cloud service.
#include "dictation/FailedRecordings.h"
#include "fakes/LocalHttpServer.h"
#include "fakes/OvraProcess.h"
#include "fakes/WavHeader.h"
#include "store/RecordStore.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using Reply = LocalHttpServer::Reply;

class TestRetryCommand : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;
    LocalHttpServer m_server;
    QUuid m_modeID;

    OvraRun ovra(const QStringList& args, const QByteArray& input = {})
    {
        return runOvraAgainstOpenAI(m_home.path(), m_server.url(), args, input);
    }
    FailedRecordings kept() const { return FailedRecordings(m_home.filePath("data/ovra/FailedRecordings")); }
    QList<Transcription> stored() const
    {
        auto store = RecordStore::open(m_home.filePath("data/ovra/ovra.sqlite"), {});
        return store ? store.value()->fetch<Transcription>() : QList<Transcription>{};
    }
    // A failed dictation's recording as the controller leaves it: half a second of silence.
    FailedRecording keepOne(const QString& error)
    {
        const QString wav = m_home.filePath(QUuid::createUuid().toString(QUuid::WithoutBraces) + ".wav");
        QFile f(wav);
        if (f.open(QIODevice::WriteOnly))
            f.write(wavHeader(16000, 16000, 1) + QByteArray(16000, '\0'));
        f.close();
        FailedRecording d;
        d.modeID = m_modeID;
        d.modeName = "Cloud";
        d.error = error;
        d.duration = 0.5;
        return kept().keep(wav, d).value();
    }

private Q_SLOTS:
    void initTestCase()
    {
        QCOMPARE(ovra({"keys", "set", "openai"}, "sk-openai-test\n").code, 0);
        const OvraRun mode =
            ovra({"modes", "add", "Cloud", "--provider", "openai", "--model", "whisper-1", "--language", "fr"});
        QCOMPARE(mode.code, 0);
        m_modeID = QUuid::fromString(mode.out.trimmed());
        QVERIFY(!m_modeID.isNull());
        // Another mode made active: a retry uses the dictation's own mode.
        QCOMPARE(ovra({"modes", "add", "Local", "--provider", "apple", "--language", "en-US"}).code, 0);
        QCOMPARE(ovra({"modes", "activate", "Local"}).code, 0);
    }

    void nothingToRetry()
    {
        const OvraRun none = ovra({"retry"});
        QCOMPARE(none.code, 1);
        QCOMPARE(none.err, "Aucune dictée échouée à réessayer.\n");
        const OvraRun list = ovra({"retry", "--list"});
        QCOMPARE(list.code, 0);
        QCOMPARE(list.out, QString());
        QCOMPARE(ovra({"retry", "--list", "--json"}).out.trimmed(), "[\n]");
        QCOMPARE(ovra({"retry", "a", "b"}).code, 2);
        QCOMPARE(ovra({"retry", "--json"}).code, 2);
    }

    void listFailAgainThenSucceed()
    {
        const FailedRecording older = keepOne("Erreur ancienne");
        QTest::qWait(5); // distinct dates
        const FailedRecording last = keepOne("Service error (500). Try again later.");

        const OvraRun list = ovra({"retry", "--list"});
        QCOMPARE(list.code, 0);
        const QStringList lines = list.out.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 2);
        const QStringList fields = lines[0].split('\t');
        QCOMPARE(fields.size(), 5);
        QCOMPARE(fields[0], last.id.toString(QUuid::WithoutBraces).toUpper());
        QCOMPARE(fields[2], "Cloud");
        QCOMPARE(fields[3], "Service error (500). Try again later.");
        QCOMPARE(fields[4], last.audioFile);

        // The newest fails again: kept, and the message says where.
        m_server.requests.clear();
        m_server.enqueue(Reply::json(500, "oops"));
        const OvraRun again = ovra({"retry"});
        QCOMPARE(again.code, 1);
        QVERIFY2(again.err.contains("Enregistrement conservé : " + last.audioFile), qPrintable(again.err));
        QCOMPARE(m_server.requests.value(0).target, "/v1/audio/transcriptions");
        QCOMPARE(kept().list().size(), 2);

        // By the start of its id: transcribed, stored in its own mode, no longer kept.
        m_server.enqueue(Reply::json(200, R"({"text":"texte retrouvé"})"));
        const OvraRun ok = ovra({"retry", last.id.toString(QUuid::WithoutBraces).left(8).toLower()});
        QCOMPARE(ok.err, QString());
        QCOMPARE(ok.code, 0);
        QCOMPARE(ok.out, "texte retrouvé\n");
        QCOMPARE(stored().size(), 1);
        QCOMPARE(stored()[0].modeName, "Cloud");
        QCOMPARE(stored()[0].transcriptionModel, "whisper-1");
        QVERIFY(!QFile::exists(last.audioFile));
        QCOMPARE(kept().list().size(), 1);
        QCOMPARE(kept().last()->id, older.id);

        const OvraRun unknown = ovra({"retry", "nope"});
        QCOMPARE(unknown.code, 1);
        QCOMPARE(unknown.err, "Dictée échouée introuvable : nope\n");
    }
};

QTEST_GUILESS_MAIN(TestRetryCommand)
#include "tst_retrycommand.moc"
