// The Whisper service on the real whisper.cpp engine with a tiny random-weight model: load,
// warm-up, shared loads, transcription, unload, and the files it must refuse before the engine
// sees them.
#include "TinyWhisperModel.h"
#include "fakes/AwaitTask.h"
#include "fakes/WavHeader.h"
#include "localmodels/WhisperCppEngine.h"
#include "localmodels/WhisperKitTranscriptionService.h"
#include "localmodels/WhisperModelFile.h"
#include "store/DebugLog.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class TestWhisperKitService : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_model;
    QString m_audio;
    std::unique_ptr<DebugLog> m_log;

    QString writeFile(const QString& name, const QByteArray& bytes)
    {
        const QString path = m_dir.filePath(name);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }

    std::unique_ptr<WhisperKitTranscriptionService> service(const QString& modelFile)
    {
        return std::make_unique<WhisperKitTranscriptionService>(
            *m_log, [modelFile](const QString&) { return modelFile; }, &WhisperCppEngine::load, 1);
    }

    QStringList logLines() const { return m_log->contents().split('\n', Qt::SkipEmptyParts); }
    int linesWith(const QString& text) const
    {
        const QStringList lines = logLines();
        return int(std::count_if(lines.begin(), lines.end(), [&](const QString& l) { return l.contains(text); }));
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_model = writeFile(QStringLiteral("ggml-tiny.bin"), TinyWhisperModel::build());
        // Two seconds of noise at 16 kHz.
        QByteArray pcm;
        QRandomGenerator random(7);
        for (int i = 0; i < 32000; ++i) {
            const qint16 s = qToLittleEndian(qint16(random.bounded(-3000, 3000)));
            pcm.append(reinterpret_cast<const char*>(&s), 2);
        }
        m_audio = writeFile(QStringLiteral("speech.wav"), wavHeader(quint32(pcm.size()), 16000, 1) + pcm);
    }

    void init() { m_log = std::make_unique<DebugLog>(m_dir.filePath(QStringLiteral("log"))); }
    void cleanup()
    {
        m_log->clear();
        m_log.reset();
    }

    void refusesBrokenFiles_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("reason");
        const QByteArray good = TinyWhisperModel::build();
        QByteArray foreign = good;
        const qint32 parakeetVocab = qToLittleEndian(qint32(8193));
        foreign.replace(4, 4, reinterpret_cast<const char*>(&parakeetVocab), 4);
        QByteArray badMels = good;
        const qint32 mels = qToLittleEndian(qint32(7));
        badMels.replace(4 + 9 * 4, 4, reinterpret_cast<const char*>(&mels), 4);
        QTest::newRow("empty") << QByteArray() << "ce n’est pas un fichier ggml";
        QTest::newRow("html page") << QByteArray("<!DOCTYPE html><html><body>Not found</body></html>")
                                   << "ce n’est pas un fichier ggml";
        QTest::newRow("header cut") << good.left(20) << "en-tête tronqué";
        QTest::newRow("another engine") << foreign << "ce n’est pas un modèle Whisper";
        QTest::newRow("odd dimensions") << badMels << "dimensions incohérentes";
        QTest::newRow("cut in the vocabulary") << good.left(200000) << "vocabulaire tronqué";
        QTest::newRow("cut in a tensor") << good.left(good.size() - 10) << "fichier tronqué";
        // The last tensor (a bias of 8 floats) and its record header dropped whole.
        const int lastRecord = 3 * 4 + 4 + int(qstrlen("decoder.blocks.3.cross_attn.out.bias")) + 8 * 4;
        QTest::newRow("tensor missing") << good.left(good.size() - lastRecord) << "tenseurs manquants";
    }
    void refusesBrokenFiles()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, reason);
        const QString path = writeFile(QStringLiteral("broken.bin"), bytes);
        const auto checked = WhisperModelFile::check(path);
        QVERIFY(!checked);
        QVERIFY2(checked.error().contains(reason), qPrintable(checked.error()));
        QVERIFY(WhisperModelFile::check(m_model));
    }

    void loadsWarmsAndTranscribes()
    {
        auto whisper = service(m_model);
        QSignalSpy states(whisper.get(), &WhisperKitTranscriptionService::stateChanged);
        // Two dictations while the model loads share one load.
        auto first = whisper->transcribe(m_audio, QStringLiteral("openai_whisper-tiny"), QStringLiteral("fr-FR"));
        auto second = whisper->transcribe(m_audio, QStringLiteral("openai_whisper-tiny"), QStringLiteral("auto"));
        const auto a = awaitTask(std::move(first));
        const auto b = awaitTask(std::move(second));
        QVERIFY2(a, qPrintable(a ? QString() : a.error().message));
        QVERIFY2(b, qPrintable(b ? QString() : b.error().message));
        // The tiny model always says "w1000": segments joined, white space trimmed.
        QCOMPARE(a.value(), QStringLiteral("w1000"));
        QCOMPARE(b.value(), QStringLiteral("w1000"));
        QCOMPARE(whisper->modelState(), WhisperKitTranscriptionService::ModelState::ready);
        QCOMPARE(whisper->loadedModel(), QStringLiteral("openai_whisper-tiny"));
        QCOMPARE(whisper->loadGeneration(), 1);
        QCOMPARE(states.count(), 2); // loading, ready
        QCOMPARE(linesWith(QStringLiteral("[FLOW] APP WhisperKit: loading model openai_whisper-tiny")), 1);
        QCOMPARE(linesWith(QStringLiteral("APP WhisperKit: warmup done (")), 1);
        QCOMPARE(linesWith(QStringLiteral("APP WhisperKit: model openai_whisper-tiny ready")), 1);

        // Loaded: a third dictation does not load again.
        QVERIFY(awaitTask(whisper->transcribe(m_audio, QStringLiteral("openai_whisper-tiny"), QStringLiteral("en"))));
        QCOMPARE(linesWith(QStringLiteral("loading model")), 1);

        whisper->unload(QStringLiteral("openai_whisper-tiny"));
        QCOMPARE(whisper->modelState(), WhisperKitTranscriptionService::ModelState::notLoaded);
        QVERIFY(whisper->loadedModel().isEmpty());
        QCOMPARE(linesWith(QStringLiteral("APP WhisperKit: unloaded openai_whisper-tiny (model deleted)")), 1);
    }

    void unknownVariantsLoadBase()
    {
        QString asked;
        WhisperKitTranscriptionService whisper(
            *m_log, [&](const QString& v) { asked = v; return m_model; }, &WhisperCppEngine::load, 1);
        QVERIFY(awaitTask(whisper.load(QStringLiteral("mlx-whisper-large"))));
        QCOMPARE(asked, QStringLiteral("openai_whisper-base"));
        QCOMPARE(whisper.loadedModel(), QStringLiteral("openai_whisper-base"));
    }

    void failuresAreStatesNotCrashes_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("message");
        const QByteArray good = TinyWhisperModel::build();
        QTest::newRow("not downloaded") << QByteArray() << "n’est pas téléchargé";
        QTest::newRow("truncated") << good.left(good.size() / 2) << "fichier tronqué";
        QTest::newRow("html page") << QByteArray("<html>502 Bad Gateway</html>") << "pas un fichier ggml";
    }
    void failuresAreStatesNotCrashes()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, message);
        const QString path = bytes.isEmpty() ? QString() : writeFile(QStringLiteral("bad.bin"), bytes);
        auto whisper = service(path);
        const auto text = awaitTask(whisper->transcribe(m_audio, QStringLiteral("openai_whisper-tiny"), QString()));
        QVERIFY(!text);
        QVERIFY(!text.error().cancelled);
        QVERIFY2(text.error().message.contains(message), qPrintable(text.error().message));
        QCOMPARE(whisper->modelState(), WhisperKitTranscriptionService::ModelState::failed);
        QCOMPARE(whisper->failureMessage(), text.error().message);
        QCOMPARE(linesWith(QStringLiteral("APP WhisperKit: load FAILED (openai_whisper-tiny) ") + text.error().message),
                 1);
        // The next attempt loads again (a repaired file is picked up).
        QVERIFY(!awaitTask(whisper->load(QStringLiteral("openai_whisper-tiny"))));
        QCOMPARE(linesWith(QStringLiteral("loading model")), 2);
    }

    void unloadDuringLoadDiscardsIt()
    {
        auto whisper = service(m_model);
        auto loading = whisper->load(QStringLiteral("openai_whisper-tiny"));
        whisper->unloadAll();
        const auto result = awaitTask(std::move(loading));
        QVERIFY(!result);
        QVERIFY(result.error().cancelled);
        QCOMPARE(whisper->modelState(), WhisperKitTranscriptionService::ModelState::notLoaded);
        QVERIFY(whisper->loadedModel().isEmpty());
        QCOMPARE(linesWith(QStringLiteral("APP WhisperKit: unloaded all (models deleted)")), 1);
        QCOMPARE(linesWith(QStringLiteral("ready")), 0);
    }

    void unreadableRecordingFailsTheDictation()
    {
        auto whisper = service(m_model);
        const QString junk = writeFile(QStringLiteral("junk.m4a"), QByteArray("not audio at all"));
        const auto text = awaitTask(whisper->transcribe(junk, QStringLiteral("openai_whisper-tiny"), QString()));
        QVERIFY(!text);
        QVERIFY(!text.error().message.isEmpty());
        QCOMPARE(whisper->modelState(), WhisperKitTranscriptionService::ModelState::ready);
    }

    void decodingLanguage_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("engine");
        QTest::newRow("locale") << "fr-FR" << "fr";
        QTest::newRow("upper case") << "EN" << "en";
        QTest::newRow("auto detects") << "auto" << "";
        QTest::newRow("empty detects") << "" << "";
        QTest::newRow("unknown detects") << "xx-YY" << "";
        QTest::newRow("one letter") << "d" << "";
    }
    void decodingLanguage()
    {
        QFETCH(QString, mode);
        QFETCH(QString, engine);
        QCOMPARE(WhisperKitTranscriptionService::decodingLanguage(mode), engine);
    }
};

QTEST_GUILESS_MAIN(TestWhisperKitService)
#include "tst_whisperkitservice.moc"
