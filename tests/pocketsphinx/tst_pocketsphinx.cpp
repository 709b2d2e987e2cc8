#include "audio/AudioFile.h"
#include "audio/AudioFixtures.h"
#include "platform/linux/pocketsphinx/PocketSphinxEngine.h"
#include "transcription/AppleSpeechManager.h"

#include <QCoroTask>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace AudioFixtures;

class TestPocketSphinx : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    std::unique_ptr<PocketSphinxEngine> m_engine;
    QString m_speech;

private Q_SLOTS:
    void initTestCase()
    {
        m_engine = std::make_unique<PocketSphinxEngine>();
        m_speech = m_dir.filePath("hello.wav");
        QVERIFY(speechWav(m_speech));
    }

    void listsTheInstalledModels()
    {
        QVERIFY2(m_engine->supportedLocales().contains("en-US"), qPrintable(m_engine->supportedLocales().join(',')));
        PocketSphinxEngine none(m_dir.filePath("no-models"));
        QVERIFY(none.supportedLocales().isEmpty());
    }

    void transcribesAFile_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("format");
        QTest::newRow("en-US wav") << "en-US" << "wav";
        QTest::newRow("en_us m4a") << "en_us" << "m4a";
    }
    void transcribesAFile()
    {
        QFETCH(QString, locale);
        QFETCH(QString, format);
        QString file = m_speech;
        if (format == "m4a") {
            file = m_dir.filePath("hello.m4a");
            OVRA_VERIFY_OK(AudioFile::transcodeToAac(m_speech, file, 16000, 40000));
        }
        AppleSpeechManager manager(*m_engine);
        auto text = AudioFixtures::await(manager.transcribe(file, locale));
        OVRA_VERIFY_OK(text);
        QVERIFY2(text->contains("hello world"), qPrintable(*text));
    }

    void silenceGivesNoResult()
    {
        const QString file = m_dir.filePath("quiet.wav");
        QVERIFY(writeWav(file, silence(2.0)));
        AppleSpeechManager manager(*m_engine);
        auto text = AudioFixtures::await(manager.transcribe(file, "en-US"));
        QVERIFY(!text);
        QCOMPARE(text.error().message(), QString("Apple Speech returned no result."));
    }

    // PocketSphinx exits the process on a damaged model: such folders are never offered.
    void damagedModelIsNotOffered()
    {
        const QString root = m_dir.filePath("broken");
        QVERIFY(QDir().mkpath(root + "/xx-yy/xx-yy"));
        for (const QString f : {"/xx-yy/xx-yy/mdef", "/xx-yy/xx-yy/means", "/xx-yy/xx-yy/variances",
                                "/xx-yy/xx-yy/transition_matrices", "/xx-yy/xx-yy/noisedict", "/xx-yy/xx-yy.lm.bin",
                                "/xx-yy/xx-yy.dict"}) {
            QFile file(root + f);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("garbage");
        }
        PocketSphinxEngine engine(root);
        QVERIFY(engine.supportedLocales().isEmpty());
        AppleSpeechManager manager(engine);
        auto text = AudioFixtures::await(manager.transcribe(m_speech, "xx-YY"));
        QVERIFY(!text);
        QCOMPARE(text.error().kind, AppleSpeechError::Kind::localeNotSupported);
    }

    // A short sound before the speech (the start cue heard by the microphone, a click) and a
    // pause: the words after it come out as they do alone, whatever was recognised before.
    void aSoundBeforeTheSpeechLeavesItIntact()
    {
        auto speech = AudioFile::decodeMono16k(m_speech);
        OVRA_VERIFY_OK(speech);
        std::vector<float> cued = silence(0.04);
        std::vector<float> cue = sine(0.08, 700.0, 0.6f);
        for (size_t i = 0; i < cue.size(); ++i)
            cue[i] *= 1.0f - float(i) / float(cue.size());
        append(cued, cue);
        append(cued, silence(1.0));
        append(cued, *speech);

        PocketSphinxEngine fresh;
        const auto alone = fresh.recognize("en-US", *speech);
        OVRA_VERIFY_OK(alone);
        QVERIFY2(alone->contains("hello world"), qPrintable(*alone));
        for (int run = 0; run < 3; ++run) {
            const auto withCue = m_engine->recognize("en-US", cued);
            OVRA_VERIFY_OK(withCue);
            QVERIFY2(withCue->contains("hello world"), qPrintable(QString("run %1: %2").arg(run).arg(*withCue)));
            const auto again = m_engine->recognize("en-US", *speech);
            OVRA_VERIFY_OK(again);
            QCOMPARE(*again, *alone);
        }
    }

    void streamsPartialText()
    {
        auto samples = AudioFile::decodeMono16k(m_speech);
        OVRA_VERIFY_OK(samples);
        auto stream = m_engine->openStream("en-US");
        OVRA_VERIFY_OK(stream);
        QStringList partials;
        for (size_t at = 0; at < samples->size(); at += 4096) {
            const size_t n = std::min<size_t>(4096, samples->size() - at);
            stream.value()->feed(std::span<const float>(samples->data() + at, n));
            const QString p = stream.value()->partialText();
            if (partials.isEmpty() || partials.last() != p)
                partials << p;
        }
        const QString final = stream.value()->finish();
        QVERIFY2(final.contains("hello world"), qPrintable(final));
        QVERIFY2(partials.size() >= 3, qPrintable(partials.join(" | "))); // the text grew while fed
        QCOMPARE(stream.value()->partialText(), final);
    }

    // A live stream finishes on its own thread and may end after the engine that opened it.
    void streamOutlivesItsEngine()
    {
        auto engine = std::make_unique<PocketSphinxEngine>();
        auto stream = engine->openStream("en-US");
        OVRA_VERIFY_OK(stream);
        engine.reset();
        std::vector<float> silence(16000, 0.0f);
        stream.value()->feed(silence);
        stream.value()->finish();
        stream.value().reset();
    }
};

QTEST_GUILESS_MAIN(TestPocketSphinx)
#include "tst_pocketsphinx.moc"
