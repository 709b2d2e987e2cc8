// Dispatch, offline pre-check, retry, cloud and local fallbacks, cost and temporary files of
// the transcription manager: the real cloud client against a local server, fakes for the
// on-device services.
#include "ai/UsageTracker.h"
#include "fakes/AwaitTask.h"
#include "fakes/FakeTranscriptionServices.h"
#include "fakes/LocalHttpServer.h"
#include "platform/Bcp47.h"
#include "store/DebugLog.h"
#include "store/RecordStore.h"
#include "store/Settings.h"
#include "transcription/FallbackTranscriptionModel.h"
#include "transcription/TranscriptionManager.h"
#include "transcription/UploadCompressor.h"

#include <QLocale>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using Reply = LocalHttpServer::Reply;
using namespace std::chrono_literals;

namespace {

struct Rig
{
    QTemporaryDir dir;
    LocalHttpServer server;
    APINetworkClient network{APINetworkClient::Config{{400ms, 3000ms}, {400ms, 3000ms}}};
    QHash<KeychainKey, QString> keys{{KeychainKey::openAIAPIKey, "sk-o"},
                                     {KeychainKey::groqAPIKey, "gsk"},
                                     {KeychainKey::geminiAPIKey, "AIza"}};
    CloudTranscriber cloud{network,
                           [this](KeychainKey k) -> std::optional<QString> {
                               return keys.contains(k) ? std::optional<QString>(keys.value(k)) : std::nullopt;
                           },
                           ServiceHosts{server.url(), server.url(), server.url(), server.url()}, 400ms};
    DebugLog log{dir.filePath("data")};
    UploadCompressor compressor{log, dir.path()};
    FakeTrimmer trimmer;
    FakeSystemRecognizer apple;
    FakeLocalModels local;
    FakeNetworkPathMonitor monitor;
    std::unique_ptr<RecordStore> store = std::move(RecordStore::open(dir.filePath("s.sqlite"), [] { return EditIdentity{}; }).value());
    UsageTracker usage;
    Settings settings{dir.filePath("config")};
    TranscriptionManager manager{{cloud, compressor, trimmer, apple, local, monitor, usage, settings, log,
                                  [](const QString&) -> std::optional<double> { return 90.0; }}};
    QString recording;

    Rig()
    {
        usage.setModelContext(store.get());
        QDir().mkpath(dir.filePath("data"));
        QFile f(dir.filePath("rec.m4a"));
        f.open(QIODevice::WriteOnly);
        f.write("audio bytes");
        recording = f.fileName();
    }

    Expected<QString, TranscriptionError> run(TranscriptionProvider p, const QString& model, const QString& language = "fr-CA",
                                              bool trim = false, std::optional<int> chunk = std::nullopt)
    {
        return awaitTask(manager.transcribe(recording, p, model, language, QStringLiteral("Ovra"), trim, chunk));
    }
    QStringList flowLines() const
    {
        QStringList lines;
        for (const QString& l : log.contents().split('\n'))
            if (l.contains("] [FLOW] "))
                lines << l.mid(l.indexOf("] [FLOW] ") + 9);
        return lines;
    }
};

} // namespace

class TestTranscriptionManager : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void cloudSuccessRecordsTheCost()
    {
        Rig rig;
        rig.server.enqueue(Reply::json(200, R"({"text":"Bonjour"})"));
        QSignalSpy transcribing(&rig.manager, &TranscriptionManager::isTranscribingChanged);
        const auto text = rig.run(TranscriptionProvider::openai, "gpt-4o-mini-transcribe");
        QCOMPARE(text.value(), QString("Bonjour"));
        QCOMPARE(transcribing.size(), 2);
        QVERIFY(!rig.manager.isTranscribing());
        QVERIFY(rig.manager.lastCostUSD().has_value());
        QVERIFY(qAbs(*rig.manager.lastCostUSD() - 0.0045) < 1e-12);
        const auto usage = rig.store->fetch<APIUsageRecord>();
        QCOMPARE(usage.size(), 1);
        QCOMPARE(usage[0].providerRaw, QString("openai"));
        QCOMPARE(usage[0].audioSeconds, 90.0);
        QVERIFY(QFile::exists(rig.recording));
    }

    void offlineMonitorRefusesWithoutFallback()
    {
        Rig rig;
        rig.monitor.started = true;
        rig.monitor.status = NetworkPathStatus::unsatisfied;
        const auto text = rig.run(TranscriptionProvider::groq, "whisper-large-v3");
        QVERIFY(!text.hasValue());
        QCOMPARE(text.error().api.urlError()->code, URLError::Code::notConnectedToInternet);
        QVERIFY(rig.server.requests.isEmpty());
        QVERIFY(rig.apple.locales.isEmpty());
        QCOMPARE(rig.flowLines(),
                 QStringList{"APP transcribe: hors-ligne (moniteur) → file hors-ligne, pas de secours (groq)"});
        QVERIFY(!rig.manager.lastCostUSD().has_value());
    }

    void monitorNotStartedTriesTheRequest()
    {
        Rig rig;
        rig.monitor.status = NetworkPathStatus::unsatisfied; // not started: not consulted up front
        rig.server.enqueue(Reply::json(200, R"({"text":"ok"})"));
        QCOMPARE(rig.run(TranscriptionProvider::groq, "whisper-large-v3").value(), QString("ok"));
        QCOMPARE(rig.server.requests.size(), 1);
    }

    void lostConnectionIsRetriedOnce()
    {
        Rig rig;
        // On a fresh connection Qt itself resends once when the server closes before any reply
        // byte; the manager's retry comes after that.
        rig.server.enqueue(Reply::drop());
        rig.server.enqueue(Reply::drop());
        rig.server.enqueue(Reply::json(200, R"({"text":"second try"})"));
        QCOMPARE(rig.run(TranscriptionProvider::openai, "whisper-1").value(), QString("second try"));
        QCOMPARE(rig.server.requests.size(), 3);
        QVERIFY(rig.flowLines().isEmpty());
    }

    void lostConnectionTwiceFallsBack()
    {
        Rig rig;
        rig.server.setDefaultReply(Reply::drop());
        const auto text = rig.run(TranscriptionProvider::openai, "whisper-1");
        QCOMPARE(text.value(), QString("texte Apple"));
        // Two sends by the manager, each possibly resent by Qt.
        QVERIFY(rig.server.requests.size() >= 2 && rig.server.requests.size() <= 6);
        QVERIFY(!rig.manager.lastCostUSD().has_value());
        QCOMPARE(rig.flowLines(),
                 (QStringList{"APP transcribe: openai injoignable RÉSEAU PRÉSENT (La connexion réseau a été perdue.) → "
                              "secours Apple Speech",
                              "APP transcribe: dictée transcrite en secours par Apple Speech (11 car.)"}));
    }

    void unreachableWhileOfflineIsThrown()
    {
        Rig rig;
        rig.monitor.status = NetworkPathStatus::unsatisfied; // not started, but the path is down
        rig.server.setDefaultReply(Reply::stall());
        const auto text = rig.run(TranscriptionProvider::gemini, "gemini-2.5-flash");
        QCOMPARE(text.error().api.urlError()->code, URLError::Code::timedOut);
        QVERIFY(rig.apple.locales.isEmpty());
        QVERIFY(QFile::exists(rig.recording));
    }

    void forbiddenWithFailingFallback()
    {
        Rig rig;
        rig.server.enqueue(Reply::json(403, R"({"error":{"message":"Forbidden"}})"));
        rig.apple.next = unexpected(AppleSpeechError{AppleSpeechError::Kind::noResult, {}});
        const auto text = rig.run(TranscriptionProvider::groq, "whisper-large-v3");
        QCOMPARE(text.error().description(),
                 QString("Service error (403): Accès refusé par Groq. Un VPN ou un pare-feu bloque peut-être la "
                         "connexion — essaie sans VPN, ou change de fournisseur de transcription dans ton mode."));
        QCOMPARE(rig.flowLines(),
                 (QStringList{"APP transcribe: groq injoignable RÉSEAU PRÉSENT (Service error (403): Forbidden) → "
                              "secours Apple Speech",
                              "APP transcribe: secours Apple Speech échoué (Apple Speech returned no result.) — erreur "
                              "d'origine relancée"}));
    }

    void serverErrorWithWhisperFallback()
    {
        Rig rig;
        rig.settings.setValue("mirelo.transcription.fallbackModel", "openai_whisper-base");
        rig.local.downloaded = {"openai_whisper-base"};
        rig.local.next = QStringLiteral("texte Whisper");
        rig.server.enqueue(Reply::json(500, "oops"));
        const auto text = rig.run(TranscriptionProvider::openai, "gpt-4o-transcribe");
        QCOMPARE(text.value(), QString("texte Whisper"));
        QVERIFY(!rig.manager.lastCostUSD().has_value());
        QCOMPARE(rig.local.calls.size(), 1);
        QCOMPARE(rig.local.calls[0].engine, LocalEngine::whisperKit);
        QCOMPARE(rig.local.calls[0].model, QString("openai_whisper-base"));
        QCOMPARE(rig.local.calls[0].language, QString("fr-CA"));
        QCOMPARE(rig.flowLines().last(), QString("APP transcribe: dictée transcrite en secours par Whisper Base (13 car.)"));
        QCOMPARE(rig.store->count<APIUsageRecord>(), 0);
    }

    void missingKeyReachesTheCaller()
    {
        Rig rig;
        rig.keys.clear();
        const auto text = rig.run(TranscriptionProvider::gemini, "gemini-2.5-flash");
        QCOMPARE(text.error().description(), QString("Add your Google Gemini API key in the Models tab."));
        QVERIFY(rig.apple.locales.isEmpty());
        QVERIFY(rig.server.requests.isEmpty());
    }

    void localFallback()
    {
        Rig rig;
        rig.local.next = unexpected(LocalModelError{"moteur en panne"});
        const auto text = rig.run(TranscriptionProvider::parakeet, "parakeet-unified-0.6b", "auto");
        QCOMPARE(text.value(), QString("texte Apple"));
        QCOMPARE(rig.local.calls[0].engine, LocalEngine::parakeetUnified);
        QCOMPARE(rig.local.integrityChecks.size(), 1);
        QCOMPARE(rig.apple.locales, QStringList{Bcp47::resolveAuto(QStringLiteral("auto"))});
        QCOMPARE(rig.flowLines(),
                 (QStringList{"APP transcribe: modèle local en échec (moteur en panne) → repli Apple Speech",
                              "APP transcribe: dictée transcrite en secours par Apple Speech (11 car.)"}));

        Rig failing;
        failing.local.next = unexpected(LocalModelError{"whisper en panne"});
        failing.apple.next = unexpected(AppleSpeechError{AppleSpeechError::Kind::recognizerUnavailable, {}});
        const auto both = failing.run(TranscriptionProvider::whisperKit, "openai_whisper-base");
        QCOMPARE(both.error().description(), QString("whisper en panne"));
        QVERIFY(failing.local.integrityChecks.isEmpty()); // only the NVIDIA models are checked
        QVERIFY(failing.flowLines().last().startsWith("APP transcribe: repli Apple Speech échoué (Apple Speech is "
                                                       "temporarily unavailable. Try again in a moment.)"));

        Rig cancelled;
        cancelled.local.next = unexpected(LocalModelError{"annulé", true});
        const auto c = cancelled.run(TranscriptionProvider::parakeet, "parakeet-tdt-0.6b-v3");
        QCOMPARE(c.error().kind, TranscriptionError::Kind::cancelled);
        QVERIFY(cancelled.apple.locales.isEmpty());
    }

    void nvidiaDispatch_data()
    {
        QTest::addColumn<QString>("model");
        QTest::addColumn<int>("stored");
        QTest::addColumn<int>("override");
        QTest::addColumn<int>("engine");
        QTest::addColumn<int>("chunk"); // -1: none
        QTest::newRow("latin, valid override") << "nemotron-latin-0.6b" << 2240 << 560
                                               << int(LocalEngine::nemotronMultilingual) << 560;
        QTest::newRow("multilingual, bad override") << "nemotron-multilingual-0.6b" << 2240 << 999
                                                    << int(LocalEngine::nemotronMultilingual) << 2240;
        QTest::newRow("multilingual, bad stored") << "nemotron-multilingual-0.6b" << 42 << 0
                                                  << int(LocalEngine::nemotronMultilingual) << 1120;
        QTest::newRow("english") << "nemotron-en-0.6b" << 560 << 0 << int(LocalEngine::nemotronEnglish) << -1;
        QTest::newRow("unknown id → TDT v3") << "something" << 560 << 0 << int(LocalEngine::parakeetTDT) << -1;
    }
    void nvidiaDispatch()
    {
        QFETCH(QString, model);
        QFETCH(int, stored);
        QFETCH(int, override);
        QFETCH(int, engine);
        QFETCH(int, chunk);
        Rig rig;
        rig.settings.setValue("mirelo.nemotron.chunkMs", stored);
        QVERIFY(rig.run(TranscriptionProvider::parakeet, model, "fr", false,
                        override ? std::optional<int>(override) : std::nullopt)
                    .hasValue());
        QCOMPARE(int(rig.local.calls[0].engine), engine);
        QCOMPARE(rig.local.calls[0].chunk.value_or(-1), chunk);
        QVERIFY(!rig.manager.lastCostUSD().has_value());
    }

    void silenceTrimming()
    {
        Rig rig;
        rig.trimmer.next = {TrimOutcome::Kind::empty, {}};
        const auto empty = rig.run(TranscriptionProvider::apple, "", "fr", true);
        QCOMPARE(empty.error().description(), QString("Aucune parole détectée — rien à transcrire."));
        QVERIFY(!rig.manager.isTranscribing());

        const QString trimmedCopy = rig.dir.filePath("trimmed.m4a");
        QFile f(trimmedCopy);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("shorter");
        f.close();
        rig.trimmer.next = {TrimOutcome::Kind::trimmed, trimmedCopy};
        rig.server.enqueue(Reply::json(500, "{}"));
        QCOMPARE(rig.run(TranscriptionProvider::groq, "whisper-large-v3", "fr", true).value(), QString("texte Apple"));
        // The trimmed copy went to the cloud and to the fallback, then was removed.
        QVERIFY(rig.server.requests.last().body.contains("shorter"));
        QCOMPARE(rig.apple.files.last(), trimmedCopy);
        QVERIFY(!QFile::exists(trimmedCopy));
        QVERIFY(QFile::exists(rig.recording));
    }

    void fallbackChoices()
    {
        FakeLocalModels local;
        QCOMPARE(FallbackTranscriptionModel::choices(local),
                 (QList<FallbackTranscriptionModel::Choice>{{"apple-on-device", "Apple Speech (par défaut)"}}));
        local.downloaded = {"openai_whisper-small", "nemotron-latin-0.6b"};
        QCOMPARE(FallbackTranscriptionModel::choices(local).size(), 3);
        QCOMPARE(FallbackTranscriptionModel::choices(local)[1].name, QString("Whisper Small"));
        const auto latin = FallbackTranscriptionModel::resolve("nemotron-latin-0.6b", local);
        QCOMPARE(latin.provider, TranscriptionProvider::parakeet);
        QCOMPARE(latin.name, QString("Nemotron latin"));
        // A model deleted since it was chosen falls back to Apple Speech.
        const auto deleted = FallbackTranscriptionModel::resolve("openai_whisper-base", local);
        QCOMPARE(deleted.provider, TranscriptionProvider::apple);
        QCOMPARE(deleted.name, QString("Apple Speech"));
        QCOMPARE(FallbackTranscriptionModel::resolve("garbage", local).provider, TranscriptionProvider::apple);
    }
};

QTEST_GUILESS_MAIN(TestTranscriptionManager)
#include "tst_TranscriptionManager.moc"
