// The streaming NVIDIA services (Parakeet Unified, Nemotron) around a scripted engine: chunk
// and language rules, one shared load, a chunk change, cancellation with and without the grace
// period running out, deletion of every chunk variant, and the clear failure of the engine this
// system has today, also through the on-device models' front.
#include "fakes/AwaitTask.h"
#include "fakes/WavHeader.h"
#include "localmodels/LocalModels.h"
#include "localmodels/NemotronEnTranscriptionService.h"
#include "localmodels/NemotronTranscriptionService.h"
#include "localmodels/UnifiedTranscriptionService.h"
#include "store/DebugLog.h"
#include "store/Settings.h"

#include <QCoroTimer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

class ScriptedModel : public NvidiaAsrModel
{
public:
    Expected<QString, QString> transcribe(std::span<const float>, const QString& language) override
    {
        return QString(QStringLiteral(" texte ") + language + QStringLiteral(" "));
    }
};

// Loads after `release` is set (or at once), reporting half-way and full progress.
class ScriptedEngine : public NvidiaAsrEngine
{
public:
    bool hold = false;
    bool release = false;
    bool ignoresCancel = false;
    QList<std::optional<int>> chunks;

    QCoro::Task<Expected<std::shared_ptr<NvidiaAsrModel>, QString>> load(QString, std::optional<int> chunkMs,
                                                                         QString folder, Progress progress,
                                                                         std::shared_ptr<std::atomic_bool> cancelled) override
    {
        chunks.append(chunkMs);
        QDir().mkpath(folder);
        QFile partial(folder + QStringLiteral("/encoder.bin.partial"));
        partial.open(QIODevice::WriteOnly);
        partial.close();
        progress(0.5);
        while (hold && !release) {
            if (*cancelled && !ignoresCancel)
                co_return unexpected(QStringLiteral("annulé"));
            QTimer tick;
            tick.setSingleShot(true);
            tick.start(5);
            co_await tick;
        }
        progress(1.0);
        co_return std::shared_ptr<NvidiaAsrModel>(std::make_shared<ScriptedModel>());
    }
    bool isComplete(const QString&, const QString&) const override { return false; }
};

} // namespace

class TestNvidiaStreamingService : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<DebugLog> m_log;
    std::unique_ptr<Settings> m_settings;
    ScriptedEngine m_engine;

    QString models() const { return m_dir->filePath(QStringLiteral("models")); }
    QString journal() const { return m_log->contents(); }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_log = std::make_unique<DebugLog>(m_dir->filePath(QStringLiteral("log")));
        m_settings = std::make_unique<Settings>(m_dir->filePath(QStringLiteral("config")));
        m_engine = ScriptedEngine{};
    }

    void chunkRules_data()
    {
        QTest::addColumn<int>("stored"); // 0: none
        QTest::addColumn<int>("override"); // 0: none
        QTest::addColumn<int>("expected");
        QTest::newRow("nothing") << 0 << 0 << 1120;
        QTest::newRow("stored 1000 is not a size") << 1000 << 0 << 1120;
        QTest::newRow("stored 2240") << 2240 << 0 << 2240;
        QTest::newRow("override 560") << 2240 << 560 << 560;
        QTest::newRow("override 999 is not a size") << 2240 << 999 << 2240;
    }
    void chunkRules()
    {
        QFETCH(int, stored);
        QFETCH(int, override);
        QFETCH(int, expected);
        if (stored)
            m_settings->setValue(SharedDefaultsKey::nemotronChunkMs, stored);
        NemotronEnTranscriptionService english(m_engine, *m_settings, *m_log, models());
        QCOMPARE(english.effectiveChunk(override ? std::optional<int>(override) : std::nullopt), std::optional<int>(expected));
        UnifiedTranscriptionService unified(m_engine, *m_settings, *m_log, models());
        QCOMPARE(unified.effectiveChunk(560), std::nullopt);
    }

    void languages_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("engine");
        QTest::newRow("auto") << "auto" << "fr-FR";
        QTest::newRow("en-GB") << "en-GB" << "en-US";
        QTest::newRow("de") << "de" << "de-DE";
        QTest::newRow("it") << "it" << "it-IT";
        QTest::newRow("pt-PT") << "pt-PT" << "pt-BR";
        QTest::newRow("es-ES") << "es-ES" << "es-ES";
    }
    void languages()
    {
        QFETCH(QString, mode);
        QFETCH(QString, engine);
        QCOMPARE(NvidiaStreamingService::nemotronLanguage(mode), engine);
    }

    void concurrentCallersShareOneLoad()
    {
        m_engine.hold = true;
        NemotronEnTranscriptionService english(m_engine, *m_settings, *m_log, models());
        QList<NvidiaStreamingService::ModelState> states;
        connect(&english, &NvidiaStreamingService::stateChanged, this, [&] {
            if (states.isEmpty() || states.constLast() != english.modelState())
                states.append(english.modelState());
        });
        auto first = english.ensureLoaded();
        auto second = english.ensureLoaded();
        QCOMPARE(english.modelState(), NvidiaStreamingService::ModelState::downloading);
        QCOMPARE(english.downloadProgress(), 0.5);
        m_engine.release = true;
        QVERIFY(awaitTask(std::move(first)));
        QVERIFY(awaitTask(std::move(second)));
        QCOMPARE(m_engine.chunks, (QList<std::optional<int>>{1120}));
        QCOMPARE(states, (QList<NvidiaStreamingService::ModelState>{NvidiaStreamingService::ModelState::downloading,
                                                                    NvidiaStreamingService::ModelState::optimizing,
                                                                    NvidiaStreamingService::ModelState::ready}));
        QCOMPARE(english.loadedChunkMs(), std::optional<int>(1120));
        QCOMPARE(journal().count(QStringLiteral("APP NemotronEN: download/load (1120 ms)…")), 1);
        QVERIFY(journal().contains(QStringLiteral("APP NemotronEN: ready")));
    }

    void anotherChunkIsAnotherModel()
    {
        NemotronTranscriptionService latin(NemotronTranscriptionService::Variant::latin, m_engine, *m_settings, *m_log,
                                           models());
        QVERIFY(awaitTask(latin.ensureLoaded()));
        QVERIFY(awaitTask(latin.ensureLoaded(1120))); // loaded already
        QVERIFY(awaitTask(latin.ensureLoaded(2240)));
        QCOMPARE(m_engine.chunks, (QList<std::optional<int>>{1120, 2240}));
        QCOMPARE(latin.loadedChunkMs(), std::optional<int>(2240));
        QVERIFY(journal().contains(QStringLiteral("APP Nemotron(latin): download/load (2240 ms)…")));
        QCOMPARE(latin.folder(2240), models() + QStringLiteral("/nvidia/nemotron-latin-0.6b/2240"));
    }

    void cancelKeepsOrRemovesPartials_data()
    {
        QTest::addColumn<bool>("engineStops");
        QTest::addColumn<int>("graceMs");
        // A long grace when the engine stops: the wait ends as soon as it does.
        QTest::newRow("engine stops") << true << 20000;
        QTest::newRow("engine still writing after the grace period") << false << 100;
    }
    void cancelKeepsOrRemovesPartials()
    {
        QFETCH(bool, engineStops);
        QFETCH(int, graceMs);
        m_engine.hold = true;
        m_engine.ignoresCancel = !engineStops;
        NemotronTranscriptionService multi(NemotronTranscriptionService::Variant::multilingual, m_engine, *m_settings,
                                           *m_log, models(), std::chrono::milliseconds(graceMs));
        auto loading = multi.ensureLoaded();
        const QString partial = multi.folder(1120) + QStringLiteral("/encoder.bin.partial");
        QVERIFY(QFile::exists(partial));
        awaitTask(multi.cancelDownload());
        QCOMPARE(multi.modelState(), NvidiaStreamingService::ModelState::notLoaded);
        QVERIFY(journal().contains(QStringLiteral("APP Nemotron(multilingual): téléchargement annulé")));
        QCOMPARE(QFile::exists(partial), !engineStops);
        QCOMPARE(journal().contains(QStringLiteral("APP Nemotron(multilingual): partiels conservés (tâche active)")),
                 !engineStops);
        m_engine.release = true;
        const auto result = awaitTask(std::move(loading));
        QVERIFY(!result);
        QVERIFY(result.error().cancelled);
        QCOMPARE(multi.modelState(), NvidiaStreamingService::ModelState::notLoaded); // the late result is dropped
    }

    void deleteRemovesEveryChunkVariant()
    {
        NemotronEnTranscriptionService english(m_engine, *m_settings, *m_log, models());
        QVERIFY(awaitTask(english.ensureLoaded(560)));
        QVERIFY(awaitTask(english.ensureLoaded(2240)));
        const int generation = english.loadGeneration();
        english.deleteModel();
        QVERIFY(!QDir(models() + QStringLiteral("/nvidia/nemotron-en-0.6b")).exists());
        QCOMPARE(english.modelState(), NvidiaStreamingService::ModelState::notLoaded);
        QCOMPARE(english.loadedChunkMs(), std::nullopt);
        QVERIFY(english.loadGeneration() > generation);
        QVERIFY(journal().contains(QStringLiteral("APP NemotronEN: modèle supprimé (rangée, toutes fenêtres)")));
    }

    void transcribesInTheEngineLanguage()
    {
        const QString wav = m_dir->filePath(QStringLiteral("one-second.wav"));
        QFile file(wav);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(wavHeader(32000, 16000, 1) + QByteArray(32000, '\0'));
        file.close();
        NemotronTranscriptionService multi(NemotronTranscriptionService::Variant::multilingual, m_engine, *m_settings,
                                           *m_log, models());
        const auto text = awaitTask(multi.transcribe(wav, QStringLiteral("pt-PT")));
        QVERIFY2(text, qPrintable(text ? QString() : text.error().message));
        QCOMPARE(*text, QStringLiteral("texte pt-BR"));
    }

    void thisSystemSaysTheEngineIsMissing()
    {
        LocalModels models(*m_settings, *m_log, this->models(), QUrl(QStringLiteral("http://127.0.0.1:9")));
        const QString message = QStringLiteral("moteur indisponible sur ce système");
        auto unified = awaitTask(models.transcribe(LocalEngine::parakeetUnified, QStringLiteral("x.wav"),
                                                   QStringLiteral("parakeet-unified-0.6b"), QStringLiteral("fr"), std::nullopt));
        QVERIFY(!unified);
        QCOMPARE(unified.error().message, message);
        QVERIFY(!unified.error().cancelled);
        QCOMPARE(models.streaming(QStringLiteral("parakeet-unified-0.6b"))->modelState(),
                 NvidiaStreamingService::ModelState::failed);
        auto latin = awaitTask(models.transcribe(LocalEngine::nemotronMultilingual, QStringLiteral("x.wav"),
                                                 QStringLiteral("nemotron-latin-0.6b"), QStringLiteral("auto"), 560));
        QVERIFY(!latin);
        QCOMPARE(latin.error().message, message);
        QVERIFY(!models.isDownloaded(QStringLiteral("nemotron-en-0.6b")));
        const QString lines = journal();
        QVERIFY(lines.contains(QStringLiteral("APP ParakeetUnified: download/load…")));
        QVERIFY(lines.contains(QStringLiteral("APP ParakeetUnified: FAILED: ") + message));
        QVERIFY(lines.contains(QStringLiteral("APP Nemotron(latin): download/load (560 ms)…")));
        QVERIFY(lines.contains(QStringLiteral("APP Nemotron(latin): FAILED: ") + message));
    }
};

QTEST_MAIN(TestNvidiaStreamingService)
#include "tst_nvidiastreamingservice.moc"
