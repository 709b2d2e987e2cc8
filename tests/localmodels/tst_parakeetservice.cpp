// Parakeet TDT v3 on whisper.cpp's Parakeet library with the tiny random model, downloaded from
// a local stand-in for the model host: shared download and load, states and log lines,
// cancellation, deletion, and files that must never reach the engine.
#include "TinyParakeetModel.h"
#include "TinyWhisperModel.h"
#include "fakes/AwaitTask.h"
#include "fakes/ModelHost.h"
#include "fakes/WavHeader.h"
#include "localmodels/ModelFileDownload.h"
#include "localmodels/ParakeetModelFile.h"
#include "localmodels/ParakeetTranscriptionService.h"
#include "store/DebugLog.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {
const QString kPath = QStringLiteral("ggml-org/parakeet-GGUF/resolve/main/ggml-parakeet-tdt-0.6b-v3-q8_0.bin");
using State = ParakeetTranscriptionService::ModelState;
} // namespace

class TestParakeetService : public QObject
{
    Q_OBJECT

    QByteArray m_model = TinyParakeetModel::build();
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<DebugLog> m_log;
    std::unique_ptr<ModelHost> m_host;
    QString m_audio;

    std::unique_ptr<ParakeetTranscriptionService> service()
    {
        return std::make_unique<ParakeetTranscriptionService>(*m_log, m_dir->filePath(QStringLiteral("models")),
                                                              m_host->baseUrl(), 1);
    }
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
        m_host = std::make_unique<ModelHost>();
        QVERIFY(m_host->start());
        m_audio = m_dir->filePath(QStringLiteral("speech.wav"));
        QFile f(m_audio);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QByteArray pcm(32000, '\0');
        for (int i = 0; i < pcm.size(); i += 2)
            pcm[i + 1] = char((i / 2) % 60 - 30);
        f.write(wavHeader(quint32(pcm.size()), 16000, 1) + pcm);
    }
    void cleanup()
    {
        m_host.reset();
        m_log.reset();
        m_dir.reset();
    }

    void sharedDownloadThenTranscribe()
    {
        m_host->serve(kPath, {m_model});
        auto parakeet = service();
        QVERIFY(!parakeet->isDownloaded());
        QList<State> states;
        connect(parakeet.get(), &ParakeetTranscriptionService::stateChanged, this, [&] {
            if (states.isEmpty() || states.last() != parakeet->modelState())
                states.append(parakeet->modelState());
        });
        auto first = parakeet->transcribe(m_audio, QStringLiteral("fr"));
        auto second = parakeet->transcribe(m_audio, QStringLiteral("auto"));
        const auto a = awaitTask(std::move(first));
        const auto b = awaitTask(std::move(second));
        QVERIFY2(a, qPrintable(a ? QString() : a.error().message));
        QVERIFY2(b, qPrintable(b ? QString() : b.error().message));
        QCOMPARE(m_host->storageGets(), 1);
        QCOMPARE(states, (QList<State>{State::downloading, State::optimizing, State::ready}));
        QCOMPARE(parakeet->downloadProgress(), 1.0);
        QCOMPARE(parakeet->loadGeneration(), 1);
        QVERIFY(parakeet->isDownloaded());
        QCOMPARE(linesWith(QStringLiteral("[FLOW] APP Parakeet: downloading/loading v3 models…")), 1);
        QCOMPARE(linesWith(QStringLiteral("APP Parakeet: models ready")), 1);

        parakeet->deleteModel();
        QCOMPARE(parakeet->modelState(), State::notLoaded);
        QVERIFY(!parakeet->isDownloaded());
        QVERIFY(!QFileInfo::exists(parakeet->folder()));
        QCOMPARE(linesWith(QStringLiteral("APP Parakeet: modèle v3 supprimé (rangée)")), 1);
    }

    void brokenFilesNeverReachTheEngine_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("reason");
        QTest::newRow("whisper model") << TinyWhisperModel::build() << "ce n’est pas un modèle Parakeet";
        QTest::newRow("truncated") << m_model.left(m_model.size() - 7) << "fichier tronqué";
        QTest::newRow("html") << QByteArray("<html>oops</html>") << "ce n’est pas un fichier ggml";
        QTest::newRow("header only") << m_model.left(40) << "en-tête tronqué";
    }
    void brokenFilesNeverReachTheEngine()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, reason);
        const QString path = m_dir->filePath(QStringLiteral("x.bin"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        f.close();
        const auto checked = ParakeetModelFile::check(path);
        QVERIFY(!checked);
        QVERIFY2(checked.error().contains(reason), qPrintable(checked.error()));

        // The same file already on disk: the load finds it corrupted and deletes it.
        auto parakeet = service();
        QVERIFY(QDir().mkpath(parakeet->folder()));
        QVERIFY(QFile::copy(path, parakeet->modelFile()));
        const auto result = awaitTask(parakeet->ensureLoaded());
        QVERIFY(!result);
        QCOMPARE(parakeet->modelState(), State::notLoaded);
        QVERIFY(!QFileInfo::exists(parakeet->modelFile()));
        QCOMPARE(linesWith(QStringLiteral(
                     "APP Parakeet: modèle incomplet/corrompu détecté → suppression + état « non téléchargé »")),
                 1);
    }

    void hostFailureIsAFailedState()
    {
        auto parakeet = service(); // nothing served: 404
        const auto result = awaitTask(parakeet->transcribe(m_audio, QString()));
        QVERIFY(!result);
        QVERIFY(!result.error().cancelled);
        QCOMPARE(parakeet->modelState(), State::failed);
        QCOMPARE(linesWith(QStringLiteral("APP Parakeet: load FAILED: Modèle introuvable sur le serveur (HTTP 404).")),
                 1);
        // The next call tries again.
        m_host->serve(kPath, {m_model});
        QVERIFY(awaitTask(parakeet->ensureLoaded()));
        QCOMPARE(parakeet->modelState(), State::ready);
    }

    void cancelDuringTheDownload()
    {
        ModelHost::File slow{m_model};
        slow.chunkDelayMs = 200;
        slow.bytes = m_model + QByteArray(1 << 20, '\0'); // 64 slow chunks: cancelled long before the end
        m_host->serve(kPath, slow);
        auto parakeet = service();
        auto loading = parakeet->ensureLoaded();
        QTRY_VERIFY(QFileInfo(ModelFileDownload::partialPath(parakeet->modelFile())).size() > 0);
        awaitTask(parakeet->cancelDownload());
        const auto result = awaitTask(std::move(loading));
        QVERIFY(!result);
        QVERIFY(result.error().cancelled);
        QCOMPARE(parakeet->modelState(), State::notLoaded);
        QVERIFY(!QFileInfo::exists(ModelFileDownload::partialPath(parakeet->modelFile())));
        QCOMPARE(linesWith(QStringLiteral("APP Parakeet: téléchargement annulé")), 1);
        QCOMPARE(linesWith(QStringLiteral("partiels conservés")), 0);
        QCOMPARE(linesWith(QStringLiteral("models ready")), 0);
    }
};

QTEST_GUILESS_MAIN(TestParakeetService)
#include "tst_parakeetservice.moc"
