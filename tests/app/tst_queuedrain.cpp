// `ovra queue drain` as a user runs it: dictations left in the offline queue are transcribed by
// the real binary, one at a time and oldest first, with a local server for the cloud service.
#include "fakes/LocalHttpServer.h"
#include "fakes/OvraProcess.h"
#include "fakes/WavHeader.h"
#include "store/RecordStore.h"
#include "transcription/OfflineTranscriptionQueue.h"
#include "transcription/PendingMeta.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QTemporaryDir>
#include <QTest>

using Reply = LocalHttpServer::Reply;

class TestQueueDrain : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;
    LocalHttpServer m_server;
    double m_clock = 1'780'000'000;

    OvraRun ovra(const QStringList& args, const QByteArray& input = {})
    {
        return runOvraAgainstOpenAI(m_home.path(), m_server.url(), args, input);
    }
    QString folder() const
    {
        return m_home.filePath(QStringLiteral("data/ovra/") + OfflineTranscriptionQueue::kFolderName);
    }
    QStringList stored() const
    {
        auto store = RecordStore::open(m_home.filePath("data/ovra/ovra.sqlite"), {});
        QStringList texts;
        if (store)
            for (const Transcription& t : store.value()->fetch<Transcription>({}, {{QStringLiteral("createdAt"), true}}))
                texts << t.text;
        return texts;
    }
    QStringList waiting() const { return QDir(folder()).entryList({"*.json"}, QDir::Files); }
    // An item as the queue leaves it: half a second of silence and its metadata, a minute apart.
    QUuid enqueue(const QByteArray& metaOverride = {})
    {
        QDir().mkpath(folder());
        PendingMeta m;
        m.id = QUuid::createUuid();
        m.audioFile = uuidText(m.id) + ".wav";
        m.modeName = "Cloud";
        m.provider = "openai";
        m.model = "whisper-1";
        m.language = "fr";
        m.duration = 0.5;
        m.createdAt = (m_clock += 60);
        QFile wav(QDir(folder()).filePath(m.audioFile));
        if (wav.open(QIODevice::WriteOnly))
            wav.write(wavHeader(16000, 16000, 1) + QByteArray(16000, '\0'));
        QFile meta(QDir(folder()).filePath(uuidText(m.id) + ".json"));
        if (meta.open(QIODevice::WriteOnly))
            meta.write(metaOverride.isEmpty() ? m.encode() : metaOverride);
        return m.id;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QCOMPARE(ovra({"keys", "set", "openai"}, "sk-openai-test\n").code, 0);
        const OvraRun none = ovra({"queue", "drain"});
        QCOMPARE(none.code, 0);
        QCOMPARE(none.out, "Aucune dictée en attente.\n");
        QCOMPARE(ovra({"queue", "drain", "extra"}).code, 2);
    }

    void drainsOldestFirst()
    {
        enqueue();
        enqueue();
        m_server.requests.clear();
        m_server.enqueue(Reply::json(200, R"({"text":"premier"})"));
        m_server.enqueue(Reply::json(200, R"({"text":"second"})"));
        const OvraRun run = ovra({"queue", "drain", "--json"});
        QCOMPARE(run.err, QString());
        QCOMPARE(run.code, 0);
        const QJsonObject done = QJsonDocument::fromJson(run.out.toUtf8()).object();
        const QJsonArray transcribed = done.value("transcribed").toArray();
        QCOMPARE(transcribed.size(), 2);
        QCOMPARE(transcribed[0].toObject().value("text").toString(), "premier");
        QCOMPARE(transcribed[1].toObject().value("text").toString(), "second");
        QCOMPARE(done.value("pending").toInt(-1), 0);
        QCOMPARE(m_server.requests.size(), 2);
        QCOMPARE(stored(), (QStringList{"premier", "second"}));
        QVERIFY(waiting().isEmpty());
    }

    // The network goes after the first item: it is stored, the second waits for the next drain.
    void stopsWhenTheNetworkGoes()
    {
        enqueue();
        const QUuid second = enqueue();
        m_server.enqueue(Reply::json(200, R"({"text":"avant la coupure"})"));
        for (int i = 0; i < 4; ++i)
            m_server.enqueue(Reply::drop());
        const OvraRun run = ovra({"queue", "drain"});
        QCOMPARE(run.code, 1);
        QVERIFY2(run.out.endsWith("  avant la coupure\n"), qPrintable(run.out));
        QVERIFY2(run.err.contains("Réseau injoignable : 1 dictée(s) reste(nt) en attente."), qPrintable(run.err));
        QCOMPARE(waiting(), QStringList{uuidText(second) + ".json"});
        QCOMPARE(stored().last(), "avant la coupure");

        m_server.enqueue(Reply::json(200, R"({"text":"après la coupure"})"));
        const OvraRun again = ovra({"queue", "drain"});
        QCOMPARE(again.code, 0);
        QCOMPARE(stored().last(), "après la coupure");
        QVERIFY(waiting().isEmpty());
    }

    // Metadata that does not decode: set aside with its recording, the others go through.
    void undecodableItemSetAside()
    {
        const QUuid broken = enqueue("{\"id\": 3");
        enqueue();
        m_server.enqueue(Reply::json(200, R"({"text":"lisible"})"));
        const OvraRun run = ovra({"queue", "drain"});
        QCOMPARE(run.code, 1);
        QVERIFY2(run.err.contains("Écartée dans « Ecartees » — " + uuidText(broken) + ".json"), qPrintable(run.err));
        QCOMPARE(stored().last(), "lisible");
        QVERIFY(waiting().isEmpty());
        const QDir aside(QDir(folder()).filePath(OfflineTranscriptionQueue::kSetAsideFolderName));
        QCOMPARE(aside.entryList(QDir::Files),
                 (QStringList{uuidText(broken) + ".json", uuidText(broken) + ".wav"}));
    }

    // Another process draining holds the queue: nothing is transcribed twice.
    void anotherDrainHoldsTheQueue()
    {
        enqueue();
        QLockFile lock(QDir(folder()).filePath(".drain.lock"));
        QVERIFY(lock.tryLock(0));
        const int requests = int(m_server.requests.size());
        const OvraRun run = ovra({"queue", "drain"});
        QCOMPARE(run.code, 1);
        QVERIFY2(run.err.contains("Un autre processus transcrit déjà"), qPrintable(run.err));
        QCOMPARE(m_server.requests.size(), requests);
        QCOMPARE(waiting().size(), 1);
        lock.unlock();
        m_server.enqueue(Reply::json(200, R"({"text":"enfin"})"));
        QCOMPARE(ovra({"queue", "drain"}).code, 0);
        QVERIFY(waiting().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestQueueDrain)
#include "tst_queuedrain.moc"
