#include "audio/AudioFile.h"
#include "audio/AudioFixtures.h"
#include "dictation/MacAudioRecorder.h"
#include "dictation/MacLiveTranscriber.h"
#include "platform/linux/pocketsphinx/PocketSphinxEngine.h"
#include "platform/linux/pulse/PulseAudioCapture.h"
#include "store/AppSettingsKeys.h"
#include "store/Settings.h"
#include "transcription/AppleSpeechManager.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace AudioFixtures;

class TestPulseRecorder : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    std::unique_ptr<Settings> m_settings;
    std::unique_ptr<PulseAudioCapture> m_capture;
    std::unique_ptr<MacAudioRecorder> m_recorder;
    QString m_speech;

    // Plays a file into the null sink and returns once it has been played.
    void play(const QString& file)
    {
        QProcess p;
        p.start("paplay", {"-d", "spk", file});
        QVERIFY(p.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(p.state() == QProcess::NotRunning, 20000);
        QCOMPARE(p.exitCode(), 0);
    }
    // Keeps the event loop (and the meter) running.
    static void idle(int ms) { QTest::qWait(ms); }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(!qEnvironmentVariableIsEmpty("PULSE_SERVER"), "run through tests/rigs/with-pulse.sh");
        m_settings = std::make_unique<Settings>(m_dir.filePath("config"));
        m_capture = std::make_unique<PulseAudioCapture>();
        m_recorder = std::make_unique<MacAudioRecorder>(*m_capture, *m_settings, m_dir.path());
        m_speech = m_dir.filePath("hello.wav");
        QVERIFY(speechWav(m_speech, "hello world this is a test", 0.2));
    }

    void listsMicrophonesOnly()
    {
        auto devices = m_capture->devices();
        OVRA_VERIFY_OK(devices);
        QStringList ids;
        for (const auto& d : *devices)
            ids << d.id;
        QVERIFY2(ids.contains("mic"), qPrintable(ids.join(',')));
        QVERIFY2(!ids.contains("spk.monitor"), "a monitor is not a microphone");
        QVERIFY(std::any_of(devices->begin(), devices->end(), [](const auto& d) { return d.id == "mic" && d.isDefault; }));
        QVERIFY(await(m_recorder->requestPermission()));
    }

    // The recording holds the speech played while it ran: PocketSphinx hears it.
    void recordsSpeech()
    {
        m_settings->setValue(AppSettingsKey::inputDeviceID, "mic");
        OVRA_VERIFY_OK(m_recorder->start());
        play(m_speech);
        idle(300);
        const auto file = await(m_recorder->stop());
        QVERIFY(file.has_value());
        const DictationLevelStats speech = m_recorder->levelStats();

        PocketSphinxEngine engine;
        AppleSpeechManager recogniser(engine);
        auto text = await(recogniser.transcribe(*file, "en-US"));
        OVRA_VERIFY_OK(text);
        QVERIFY2(text->contains("hello world"), qPrintable(*text));

        // Silence alone: every meter value at the floor.
        OVRA_VERIFY_OK(m_recorder->start());
        idle(1500);
        (void)await(m_recorder->stop());
        const DictationLevelStats quiet = m_recorder->levelStats();
        QVERIFY(quiet.count >= 20 && speech.count >= 20);
        QVERIFY2(quiet.mean < 0.035 && quiet.m2 / (quiet.count - 1) < 1e-5, qPrintable(QString::number(quiet.mean)));
        QVERIFY2(speech.mean > 0.1 && speech.m2 / (speech.count - 1) > 1e-3,
                 qPrintable(QString("%1 %2").arg(speech.mean).arg(speech.m2 / (speech.count - 1))));
    }

    // A tone played the moment start() returns is in the file from its first milliseconds.
    void firstSamplesAreKept()
    {
        const QString tone = m_dir.filePath("tone.wav");
        QVERIFY(writeWav(tone, sine(0.5, 440.0, 0.5f)));
        OVRA_VERIFY_OK(m_recorder->start());
        play(tone);
        idle(200);
        const auto file = await(m_recorder->stop());
        QVERIFY(file.has_value());
        auto samples = AudioFile::decodeMono16k(*file);
        OVRA_VERIFY_OK(samples);
        int loud = 0;
        for (size_t at = 0; at + 320 <= samples->size(); at += 320)
            loud += rms(samples->data() + at, 320) > 0.1;
        QVERIFY2(loud * 20 >= 480, qPrintable(QString("%1 ms of the 500 ms tone").arg(loud * 20)));
    }

    void unknownDeviceFallsBackToDefault()
    {
        m_settings->setValue(AppSettingsKey::inputDeviceID, "usb-headset-unplugged");
        OVRA_VERIFY_OK(m_recorder->start());
        play(m_speech);
        const auto file = await(m_recorder->stop());
        QVERIFY(file.has_value());
        QVERIFY(m_recorder->levelStats().mean > 0.1);
    }

    // Live: PocketSphinx hears the speech while it plays; the text grows, then the final text.
    void liveTranscription()
    {
        m_settings->setValue(AppSettingsKey::inputDeviceID, "mic");
        PocketSphinxEngine engine;
        MacLiveTranscriber live(*m_capture, engine, *m_settings);
        QSignalSpy partial(&live, &MacLiveTranscriber::partialTextChanged);
        OVRA_VERIFY_OK(await(live.start("en-US")));
        play(m_speech);
        idle(300);
        QCoro::waitFor(live.stop());
        QVERIFY2(live.finalText().contains("hello world"), qPrintable(live.finalText()));
        QVERIFY2(partial.count() >= 2, qPrintable(QString::number(partial.count())));
        QVERIFY(live.levelStats().count >= 20);
        QVERIFY(live.levelStats().mean > 0.1);
    }

    // A sound server that is down is no refused permission: start() says what `ovra devices`
    // says, and no file is made.
    void noSoundServer()
    {
        const QByteArray server = qgetenv("PULSE_SERVER");
        qputenv("PULSE_SERVER", "unix:/nonexistent/native");
        PulseAudioCapture capture;
        MacAudioRecorder recorder(capture, *m_settings, m_dir.filePath("none"));
        const bool granted = await(recorder.requestPermission());
        auto started = recorder.start();
        const auto devices = capture.devices();
        qputenv("PULSE_SERVER", server);
        QVERIFY(granted);
        QVERIFY(!started);
        QVERIFY(!devices);
        QCOMPARE(started.error(), devices.error().message);
        QVERIFY2(started.error().startsWith("Serveur son : connexion impossible"), qPrintable(started.error()));
        QVERIFY(QDir(m_dir.filePath("none")).isEmpty());
    }

    // Last: removes the microphone from the server.
    void microphoneDisappears()
    {
        m_settings->setValue(AppSettingsKey::inputDeviceID, "mic");
        QSignalSpy interrupted(m_recorder.get(), &MacAudioRecorder::interrupted);
        OVRA_VERIFY_OK(m_recorder->start());
        play(m_speech);
        QCOMPARE(QProcess::execute("pactl", {"unload-module", "module-remap-source"}), 0);
        QTRY_COMPARE_WITH_TIMEOUT(interrupted.count(), 1, 5000);
        qInfo() << interrupted.at(0).at(0).toString();
        const auto file = await(m_recorder->stop());
        QVERIFY2(file.has_value(), "what was recorded before is kept");
        auto seconds = AudioFile::duration(*file);
        OVRA_VERIFY_OK(seconds);
        QVERIFY2(*seconds > 1.5, qPrintable(QString::number(*seconds)));
        // With no microphone left, the next start fails cleanly.
        auto again = m_recorder->start();
        QVERIFY(!again);
        QCOMPARE(again.error(), QString("No audio was recorded."));
    }
};

QTEST_GUILESS_MAIN(TestPulseRecorder)
#include "tst_pulserecorder.moc"
