// The auto-download pass and the start-up prewarm over a real record store, the real model
// store (against a local stand-in for the model host) and the real Whisper engine; and the
// fallback choices listing what was downloaded.
#include "TinyWhisperModel.h"
#include "fakes/AwaitTask.h"
#include "fakes/ModelHost.h"
#include "fakes/WavHeader.h"
#include "localmodels/LocalModelAutoDownloader.h"
#include "localmodels/LocalModels.h"
#include "store/DebugLog.h"
#include "store/RecordStore.h"
#include "store/Records.h"
#include "store/Settings.h"
#include "transcription/FallbackTranscriptionModel.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {
const QString kTinyPath = QStringLiteral("ggerganov/whisper.cpp/resolve/main/ggml-tiny.bin");

TranscriptionMode mode(const QString& name, const QString& provider, const QString& model)
{
    TranscriptionMode m;
    m.name = name;
    m.transcriptionProviderRaw = provider;
    m.transcriptionModel = model;
    return m;
}
} // namespace

class TestLocalModelAutoDownloader : public QObject
{
    Q_OBJECT

    QByteArray m_model = TinyWhisperModel::build();
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<DebugLog> m_log;
    std::unique_ptr<Settings> m_settings;
    std::unique_ptr<RecordStore> m_store;
    std::unique_ptr<ModelHost> m_host;
    std::unique_ptr<LocalModels> m_models;
    std::unique_ptr<LocalModelAutoDownloader> m_auto;

    int linesWith(const QString& text) const
    {
        const QStringList lines = m_log->contents().split('\n', Qt::SkipEmptyParts);
        return int(std::count_if(lines.begin(), lines.end(), [&](const QString& l) { return l.contains(text); }));
    }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_log = std::make_unique<DebugLog>(m_dir->filePath(QStringLiteral("log")));
        m_settings = std::make_unique<Settings>(m_dir->filePath(QStringLiteral("config")));
        m_store = std::move(RecordStore::open(m_dir->filePath(QStringLiteral("s.sqlite")), {}).value());
        m_host = std::make_unique<ModelHost>();
        QVERIFY(m_host->start());
        m_models = std::make_unique<LocalModels>(*m_settings, *m_log, m_dir->filePath(QStringLiteral("models")),
                                                 m_host->baseUrl());
        m_auto = std::make_unique<LocalModelAutoDownloader>(*m_store, *m_settings, *m_models, *m_log);
    }
    void cleanup()
    {
        m_auto.reset();
        m_models.reset();
        m_host.reset();
        m_store.reset();
        m_settings.reset();
        m_log.reset();
        m_dir.reset();
    }

    void passDownloadsWhatModesNeedOncePerRun()
    {
        m_host->serve(kTinyPath, {m_model});
        QVERIFY(m_store->insert(mode("Cloud", "groq", "whisper-large-v3-turbo")));
        QVERIFY(m_store->insert(mode("Local", "whisperKit", "openai_whisper-tiny")));
        QVERIFY(m_store->insert(mode("Same model", "whisperKit", "openai_whisper-tiny")));
        QVERIFY(m_store->insert(mode("Not served", "whisperKit", "openai_whisper-small")));
        auto nemotron = mode("Nemotron", "parakeet", "nemotron-latin-0.6b");
        nemotron.nemotronChunkMs = 1000; // not a chunk size: the stored one (none: 1120)
        QVERIFY(m_store->insert(nemotron));

        awaitTask(m_auto->run());
        QVERIFY(m_models->isDownloaded(QStringLiteral("openai_whisper-tiny")));
        QCOMPARE(m_auto->attempted(), (QSet<QString>{"openai_whisper-tiny", "openai_whisper-small",
                                                     "nemotron-latin-0.6b@1120"}));
        QCOMPARE(linesWith(QStringLiteral("APP WhisperKit: download FAILED openai_whisper-small")), 1);
        QCOMPARE(m_host->storageGets(), 1);

        // What failed is not tried again in this run.
        awaitTask(m_auto->run());
        QCOMPARE(linesWith(QStringLiteral("APP WhisperKit: download openai_whisper-small")), 1);
        QCOMPARE(m_auto->passes(), 2);
        QVERIFY(!m_auto->isRunning());

        // The fallback choices now offer it.
        const auto choices = FallbackTranscriptionModel::choices(*m_models);
        QCOMPARE(choices.size(), 2);
        QCOMPARE(choices.at(1).name, QStringLiteral("Whisper Tiny"));
        QCOMPARE(FallbackTranscriptionModel::resolve(QStringLiteral("openai_whisper-tiny"), *m_models).provider,
                 TranscriptionProvider::whisperKit);
    }

    void editsDuringAPassCauseOneMorePass()
    {
        ModelHost::File slow{m_model};
        slow.chunkDelayMs = 20;
        m_host->serve(kTinyPath, slow);
        m_auto->followModeEdits();
        QSignalSpy finished(m_auto.get(), &LocalModelAutoDownloader::passFinished);
        QVERIFY(m_store->insert(mode("Local", "whisperKit", "openai_whisper-tiny"))); // starts a pass
        QVERIFY(m_auto->isRunning());
        QVERIFY(m_store->insert(mode("Second", "groq", "whisper-large-v3")));
        QVERIFY(m_store->insert(mode("Third", "groq", "whisper-large-v3")));
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 30000);
        QCOMPARE(m_auto->passes(), 2);
        QVERIFY(m_models->isDownloaded(QStringLiteral("openai_whisper-tiny")));
    }

    void prewarmLoadsTheActiveModelOnce()
    {
        m_host->serve(kTinyPath, {m_model});
        const TranscriptionMode local = mode("Local", "whisperKit", "openai_whisper-tiny");
        const TranscriptionMode cloud = mode("Cloud", "groq", "whisper-large-v3");
        QVERIFY(m_store->insert(local));
        QVERIFY(m_store->insert(cloud));

        // Not downloaded yet: nothing to warm.
        LocalModelAutoDownloader early(*m_store, *m_settings, *m_models, *m_log);
        awaitTask(early.prewarm(local.id));
        QCOMPARE(linesWith(QStringLiteral("APP Prewarm")), 0);

        QVERIFY(awaitTask(m_models->download(QStringLiteral("openai_whisper-tiny"))));
        awaitTask(m_auto->prewarm(local.id));
        QCOMPARE(linesWith(QStringLiteral("[FLOW] APP Prewarm: WhisperKit openai_whisper-tiny…")), 1);
        QCOMPARE(m_models->whisper().modelState(), WhisperKitTranscriptionService::ModelState::ready);
        QCOMPARE(linesWith(QStringLiteral("APP WhisperKit: model openai_whisper-tiny ready")), 1);
        awaitTask(m_auto->prewarm(local.id));
        QCOMPARE(linesWith(QStringLiteral("APP Prewarm")), 1);

        // A dictation then finds it loaded and runs the real engine.
        const auto text = awaitTask(m_models->transcribe(LocalEngine::whisperKit, writeSpeech(),
                                                         QStringLiteral("openai_whisper-tiny"), QStringLiteral("fr"),
                                                         std::nullopt));
        QVERIFY(text);
        QCOMPARE(text.value(), QStringLiteral("w1000"));
        QCOMPARE(linesWith(QStringLiteral("loading model")), 1);

        // Deleting the model unloads it.
        m_models->remove(QStringLiteral("openai_whisper-tiny"));
        QCOMPARE(m_models->whisper().modelState(), WhisperKitTranscriptionService::ModelState::notLoaded);
        QVERIFY(!m_models->isDownloaded(QStringLiteral("openai_whisper-tiny")));
    }

private:
    QString writeSpeech()
    {
        const QString path = m_dir->filePath(QStringLiteral("speech.wav"));
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly))
            return {};
        QByteArray pcm(32000, '\0');
        for (int i = 0; i < pcm.size(); i += 2)
            pcm[i + 1] = char((i / 2) % 40 - 20);
        f.write(wavHeader(quint32(pcm.size()), 16000, 1) + pcm);
        return path;
    }
};

QTEST_GUILESS_MAIN(TestLocalModelAutoDownloader)
#include "tst_localmodelautodownloader.moc"
