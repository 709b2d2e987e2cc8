#include "OfflineQueueFixture.h"

#include "ai/AIProviderSettings.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

namespace {

// Records every pendingCount change, and how many items were being processed at once.
struct Watch
{
    explicit Watch(OfflineTranscriptionQueue& q) : queue(q)
    {
        QObject::connect(&q, &OfflineTranscriptionQueue::pendingCountChanged, [this](int n) { counts << n; });
        QObject::connect(&q, &OfflineTranscriptionQueue::processingIDsChanged, [this] {
            const auto& ids = queue.processingIDs();
            maxAtOnce = std::max(maxAtOnce, int(ids.size()));
            for (const QUuid& id : ids)
                if (!seen.contains(id))
                    seen << id;
        });
    }
    OfflineTranscriptionQueue& queue;
    QList<int> counts;
    QList<QUuid> seen;
    int maxAtOnce = 0;
};

bool waitDrained(OfflineTranscriptionQueue& q)
{
    QSignalSpy drained(&q, &OfflineTranscriptionQueue::drained);
    return drained.wait(10000);
}

} // namespace

class TestOfflineTranscriptionQueue : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void enqueueMovesTheRecordingAndWritesItsMetadata()
    {
        QTemporaryDir dir;
        OfflineQueueFixture fx(dir.path());
        const QString recording = fx.recording();
        TranscriptionMode mode = OfflineQueueFixture::mode(QStringLiteral("Réunion"));
        mode.enableAIEnhancement = true;
        QCOMPARE(fx.queue.enqueue(recording, mode, QStringLiteral("Sois bref."), 4.25), std::nullopt);
        QVERIFY(!QFile::exists(recording));
        QCOMPARE(fx.queue.pendingCount(), 1);
        const QStringList files = fx.queueFiles();
        QCOMPARE(files.size(), 2);
        QFile metaFile(fx.queueFolder + QLatin1Char('/') + files.filter(QStringLiteral(".json")).value(0));
        QVERIFY(metaFile.open(QIODevice::ReadOnly));
        const QJsonObject o = QJsonDocument::fromJson(metaFile.readAll()).object();
        QCOMPARE(o.keys(), QStringList({"aiModel", "aiProvider", "audioFile", "createdAt", "duration", "enableAI", "id",
                                        "language", "modeName", "model", "prompt", "provider"}));
        QCOMPARE(o.value("id").toString() + QStringLiteral(".m4a"), o.value("audioFile").toString());
        QCOMPARE(o.value("id").toString(), o.value("id").toString().toUpper());
        QCOMPARE(o.value("provider").toString(), QStringLiteral("openai"));
        // The AI pair a live dictation of this mode would use.
        const AIChoice ai = AIProviderSettings::forMode(mode, fx.settings);
        QCOMPARE(o.value("aiProvider").toString(), rawValue(ai.provider));
        QCOMPARE(o.value("aiModel").toString(), ai.model);
        QCOMPARE(o.value("prompt").toString(), QStringLiteral("Sois bref."));
        QCOMPARE(o.value("duration").toDouble(), 4.25);
        QCOMPARE(o.value("createdAt").toDouble(), double(fx.clock.toSecsSinceEpoch()));
        QVERIFY(files.contains(o.value("audioFile").toString()));
        QVERIFY(fx.log.contents().contains(QStringLiteral("[FLOW] APP offlineQueue: enqueued ") +
                                           o.value("id").toString()));
    }

    void threeOfflineDictationsDrainedInOrderWhenTheNetworkReturns()
    {
        QTemporaryDir dir;
        OfflineQueueFixture fx(dir.path());
        fx.monitor.status = NetworkPathStatus::unsatisfied;
        for (int i = 1; i <= 3; ++i) {
            fx.clock = fx.clock.addSecs(60);
            QVERIFY(!fx.queue.enqueue(fx.recording(QStringLiteral("%1.m4a").arg(i)),
                                      OfflineQueueFixture::mode(QStringLiteral("Mode %1").arg(i)), QString(), i));
        }
        FakeTranscriber transcriber;
        transcriber.results = {unexpected(offlineError()), QStringLiteral("un"), QStringLiteral("deux"),
                               QStringLiteral("trois")};
        FakeChatClient chat;
        Watch watch(fx.queue);
        fx.queue.start(transcriber, chat);
        QVERIFY(waitDrained(fx.queue)); // the drain at start: still offline, nothing lost
        QCOMPARE(fx.queue.pendingCount(), 3);
        QCOMPARE(fx.store->count<Transcription>(), 0);

        fx.monitor.change(NetworkPathStatus::satisfied);
        QVERIFY(waitDrained(fx.queue));
        QCOMPARE(watch.counts, QList<int>({2, 1, 0}));
        QCOMPARE(watch.maxAtOnce, 1);
        QCOMPARE(watch.seen.size(), 3);
        QVERIFY(fx.queue.processingIDs().isEmpty());
        QVERIFY(fx.queueFiles().isEmpty());
        const auto history = fx.store->fetch<Transcription>({}, {{QStringLiteral("createdAt"), true}});
        QCOMPARE(history.size(), 3);
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(history[i].text, (QStringList{"un", "deux", "trois"}[i]));
            QCOMPARE(history[i].modeName, QStringLiteral("Mode %1").arg(i + 1));
            QCOMPARE(history[i].duration, double(i + 1));
            QVERIFY(history[i].wasMadeOffline);
            QCOMPARE(history[i].id, watch.seen[i]); // oldest first
        }
        QCOMPARE(transcriber.jobs.size(), 4);
        QCOMPARE(transcriber.jobs.last().trimSilence, false);
        QCOMPARE(transcriber.jobs.last().language, QStringLiteral("fr"));
        QCOMPARE(fx.log.contents().count(QStringLiteral("APP offlineQueue: transcribed ")), 3);
    }

    void networkLostAfterTheFirstKeepsTheOthers()
    {
        QTemporaryDir dir;
        OfflineQueueFixture fx(dir.path());
        for (int i = 1; i <= 3; ++i) {
            fx.clock = fx.clock.addSecs(60);
            QVERIFY(!fx.queue.enqueue(fx.recording(QStringLiteral("%1.m4a").arg(i)), OfflineQueueFixture::mode(),
                                      QString(), i));
        }
        FakeTranscriber transcriber;
        transcriber.results = {QStringLiteral("un"), unexpected(offlineError())};
        FakeChatClient chat;
        fx.queue.start(transcriber, chat);
        QVERIFY(waitDrained(fx.queue));
        QCOMPARE(fx.queue.pendingCount(), 2);
        QCOMPARE(fx.queueFiles().size(), 4);
        QCOMPARE(fx.store->count<Transcription>(), 1);

        fx.monitor.change(NetworkPathStatus::unsatisfied); // not a reason to try
        fx.monitor.change(NetworkPathStatus::satisfied);
        QVERIFY(waitDrained(fx.queue));
        QCOMPARE(fx.queue.pendingCount(), 0);
        QCOMPARE(fx.store->count<Transcription>(), 3);
    }

    void otherFailuresDropTheItem_data()
    {
        QTest::addColumn<int>("keep"); // 0: no keep, 1: the keep takes it, 2: the keep refuses
        QTest::newRow("no keep: deleted") << 0;
        QTest::newRow("kept with the failed dictations") << 1;
        QTest::newRow("keep refuses: deleted") << 2;
    }
    void otherFailuresDropTheItem()
    {
        QFETCH(int, keep);
        QTemporaryDir dir;
        OfflineQueueFixture fx(dir.path());
        const QString keptFolder = dir.filePath(QStringLiteral("kept"));
        QStringList keptErrors;
        if (keep != 0)
            fx.keepFailed = [&](const QString& audio, const PendingMeta& item, const QString& error) {
                keptErrors << item.modeName + QStringLiteral(": ") + error;
                return keep == 1 && QDir().mkpath(keptFolder) &&
                       QFile::rename(audio, keptFolder + QStringLiteral("/") + QFileInfo(audio).fileName());
            };
        QVERIFY(!fx.queue.enqueue(fx.recording(), OfflineQueueFixture::mode(), QString(), 2));
        const QString id = fx.queue.pendingItems().value(0).id.toString(QUuid::WithoutBraces).toUpper();
        FakeTranscriber transcriber;
        transcriber.results = {unexpected(TranscriptionError::fromAPI(APIError::missingAPIKey(QStringLiteral("OpenAI"))))};
        FakeChatClient chat;
        fx.queue.start(transcriber, chat);
        QVERIFY(waitDrained(fx.queue));
        QCOMPARE(fx.queue.pendingCount(), 0);
        QVERIFY(fx.queueFiles().isEmpty());
        const QString missingKey = APIError::missingAPIKey(QStringLiteral("OpenAI")).errorDescription();
        const QString expected = QStringLiteral("APP offlineQueue: dropped ") + id;
        const QString journal = fx.log.contents();
        QVERIFY2(journal.contains(expected) && journal.contains(missingKey), qPrintable(journal));
        QCOMPARE(keptErrors, keep == 0 ? QStringList() : QStringList{QStringLiteral("Normal: ") + missingKey});
        // The speech survives only where the keep took it.
        QCOMPARE(QDir(keptFolder).entryList(QDir::Files).size(), keep == 1 ? 1 : 0);
        QCOMPARE(journal.contains(QStringLiteral("kept with the failed dictations")), keep == 1);
    }

    void aiRewriteAndVocabularyApplied()
    {
        QTemporaryDir dir;
        OfflineQueueFixture fx(dir.path());
        DictionaryEntry e;
        e.term = QStringLiteral("Ovra");
        e.setPronunciations({QStringLiteral("au vrai")});
        e.scopesRaw = DictionaryScopes::replacement;
        QVERIFY(fx.store->insert(e));
        TranscriptionMode mode = OfflineQueueFixture::mode();
        mode.enableAIEnhancement = true;
        QVERIFY(!fx.queue.enqueue(fx.recording(), mode, QStringLiteral("Corrige."), 2));
        FakeTranscriber transcriber;
        transcriber.results = {QStringLiteral("bonjour au vrai")};
        FakeChatClient chat;
        fx.queue.start(transcriber, chat);
        QVERIFY(waitDrained(fx.queue));
        const Transcription t = fx.store->fetch<Transcription>().value(0);
        QCOMPARE(t.rawWhisperText, std::optional<QString>(QStringLiteral("bonjour au vrai")));
        QCOMPARE(t.afterReplacementsText, std::optional<QString>(QStringLiteral("bonjour Ovra")));
        QCOMPARE(t.text, QStringLiteral("Texte réécrit."));
        QVERIFY(t.enhancedByAI);
        QCOMPARE(t.aiFixCount, std::optional<int>(3));
        QCOMPARE(chat.calls.size(), 1);
        QVERIFY(chat.calls.first().system.value_or(QString()).contains(QStringLiteral("Corrige.")) ||
                chat.calls.first().messages.last().content.contains(QStringLiteral("Corrige.")));
        QCOMPARE(fx.store->count<TransformationStat>(), 1);
    }

    void startingTwiceStartsOneMonitor()
    {
        QTemporaryDir dir;
        OfflineQueueFixture fx(dir.path());
        FakeTranscriber transcriber;
        FakeChatClient chat;
        fx.queue.start(transcriber, chat);
        fx.queue.start(transcriber, chat);
        QCOMPARE(fx.monitor.starts, 1);
        QVERIFY(fx.queue.isStarted());
    }

    void pruneByAgeAndCountTakesTheHistoryRecord()
    {
        QTemporaryDir dir;
        OfflineQueueFixture fx(dir.path());
        auto enqueueWithRecord = [&](const QString& name) {
            Transcription t;
            t.text = name;
            t.offlinePendingAt = fx.clock;
            if (!fx.store->insert(t))
                return QUuid();
            return fx.queue.enqueueItem(fx.recording(name + QStringLiteral(".m4a")), OfflineQueueFixture::mode(),
                                        QString(), 1, t.id)
                       ? QUuid()
                       : t.id;
        };
        const QUuid old = enqueueWithRecord(QStringLiteral("old"));
        QVERIFY(!old.isNull());
        fx.clock = fx.clock.addDays(31);
        const QUuid first = enqueueWithRecord(QStringLiteral("first"));
        QVERIFY(!fx.store->find<Transcription>(old)); // 31 days: gone at this enqueue, with its record
        QCOMPARE(fx.queue.pendingCount(), 1);
        for (int i = 2; i <= 100; ++i) {
            fx.clock = fx.clock.addSecs(1);
            QVERIFY(!enqueueWithRecord(QStringLiteral("n%1").arg(i)).isNull());
        }
        QCOMPARE(fx.queue.pendingCount(), 100);
        QVERIFY(fx.store->find<Transcription>(first));
        fx.clock = fx.clock.addSecs(1);
        QVERIFY(!enqueueWithRecord(QStringLiteral("n101")).isNull());
        QCOMPARE(fx.queue.pendingCount(), 100);
        QVERIFY(!fx.store->find<Transcription>(first));
        QCOMPARE(fx.store->count<Transcription>(), 100);
        QCOMPARE(fx.queueFiles().size(), 200);
    }

    void unusableItemsAreSetAsideNotDeleted_data()
    {
        QTest::addColumn<QByteArray>("meta");
        QTest::addColumn<QString>("why");
        const QString id = QStringLiteral("AAAAAAAA-0000-4000-8000-000000000001");
        const QJsonObject valid{{"id", id},           {"audioFile", QString(id + QStringLiteral(".m4a"))},
                                {"modeName", "m"},    {"provider", "openai"},
                                {"model", "m"},       {"language", "fr"},
                                {"enableAI", false},  {"aiProvider", "claude"},
                                {"aiModel", "m"},     {"prompt", ""},
                                {"duration", 1},      {"createdAt", 1}};
        auto with = [&](const char* key, const QJsonValue& v) {
            QJsonObject o = valid;
            if (v.isUndefined())
                o.remove(QLatin1String(key));
            else
                o.insert(QLatin1String(key), v);
            return QJsonDocument(o).toJson();
        };
        QTest::newRow("not JSON") << QByteArray("{\"id\": ") << "métadonnées illisibles";
        QTest::newRow("missing key") << with("prompt", QJsonValue::Undefined) << "métadonnées illisibles";
        QTest::newRow("wrong type") << with("enableAI", "yes") << "métadonnées illisibles";
        QTest::newRow("path outside the folder") << with("audioFile", "../../etc/passwd") << "métadonnées illisibles";
        QTest::newRow("unknown provider") << with("provider", "carrier-pigeon")
                                          << "fournisseur inconnu « carrier-pigeon »";
    }

    void unusableItemsAreSetAsideNotDeleted()
    {
        QFETCH(QByteArray, meta);
        QFETCH(QString, why);
        QTemporaryDir dir;
        OfflineQueueFixture fx(dir.path());
        QDir().mkpath(fx.queueFolder);
        const QString name = QStringLiteral("AAAAAAAA-0000-4000-8000-000000000001");
        for (const auto& [file, bytes] : {std::pair{name + QStringLiteral(".json"), meta},
                                          std::pair{name + QStringLiteral(".m4a"), QByteArray("audio")}}) {
            QFile f(fx.queueFolder + QLatin1Char('/') + file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(bytes);
        }
        FakeTranscriber transcriber;
        FakeChatClient chat;
        fx.queue.start(transcriber, chat);
        QVERIFY(waitDrained(fx.queue));
        QCOMPARE(fx.queue.pendingCount(), 0);
        QVERIFY(transcriber.jobs.isEmpty());
        const QDir aside(fx.queueFolder + QLatin1Char('/') + QLatin1String(OfflineTranscriptionQueue::kSetAsideFolderName));
        QCOMPARE(aside.entryList(QDir::Files), QStringList({name + QStringLiteral(".json"), name + QStringLiteral(".m4a")}));
        QVERIFY2(fx.log.contents().contains(QStringLiteral("APP offlineQueue: set aside %1.json").arg(name)) &&
                     fx.log.contents().contains(why),
                 qPrintable(fx.log.contents()));
    }

    void folderThatCannotHoldTheItemLeavesTheRecordingInPlace()
    {
        QTemporaryDir dir;
        OfflineQueueFixture fx(dir.path());
        QDir().mkpath(dir.path() + QStringLiteral("/data"));
        QFile blocker(fx.queueFolder); // a file where the folder should be
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        const QString recording = fx.recording();
        const auto message = fx.queue.enqueue(recording, OfflineQueueFixture::mode(), QString(), 1);
        QVERIFY(message);
        QVERIFY2(message->contains(recording), qPrintable(*message));
        QVERIFY(QFile::exists(recording));
        QCOMPARE(fx.queue.pendingCount(), 0);
    }

    void killedDuringADrainLosesNothing()
    {
        QTemporaryDir dir;
        QProcess child;
        child.start(QStringLiteral(OFFLINE_QUEUE_CHILD), {dir.path()});
        QVERIFY(child.waitForStarted());
        QByteArray out;
        while (!out.contains("processing") && child.waitForReadyRead(20000))
            out += child.readAllStandardOutput();
        QVERIFY2(out.contains("enqueued\nprocessing"), out);
        child.kill(); // SIGKILL to this child only
        QVERIFY(child.waitForFinished());

        // Restarted with network: the dictation ends in the history with its text.
        OfflineQueueFixture fx(dir.path());
        QCOMPARE(fx.queue.pendingCount(), 1);
        FakeTranscriber transcriber;
        transcriber.results = {QStringLiteral("retrouvée après le crash")};
        FakeChatClient chat;
        fx.queue.start(transcriber, chat);
        QVERIFY(waitDrained(fx.queue));
        const auto history = fx.store->fetch<Transcription>();
        QCOMPARE(history.size(), 1);
        QCOMPARE(history.first().text, QStringLiteral("retrouvée après le crash"));
        QCOMPARE(history.first().modeName, QStringLiteral("Hors ligne"));
        QCOMPARE(history.first().duration, 3.5);
        QCOMPARE(fx.queue.pendingCount(), 0);
    }
};

QTEST_GUILESS_MAIN(TestOfflineTranscriptionQueue)
#include "tst_offlinetranscriptionqueue.moc"
