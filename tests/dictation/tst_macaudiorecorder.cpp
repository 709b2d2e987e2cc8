#include "audio/AudioFile.h"
#include "audio/AudioFixtures.h"
#include "dictation/FakeAudioCapture.h"
#include "dictation/LevelMeter.h"
#include "dictation/MacAudioRecorder.h"
#include "store/AppSettingsKeys.h"
#include "store/Settings.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>
#include <QThreadPool>
#include <QtConcurrent>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace AudioFixtures;

class TestMacAudioRecorder : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    std::unique_ptr<Settings> m_settings;
    FakeAudioCapture m_capture;
    std::unique_ptr<MacAudioRecorder> m_recorder;
    int m_run = 0;
    QString folder() const { return m_dir.filePath(QString("rec-%1").arg(m_run)); }

private Q_SLOTS:
    void init()
    {
        ++m_run;
        QDir().mkpath(folder());
        m_settings = std::make_unique<Settings>(m_dir.filePath("config"));
        m_settings->remove(AppSettingsKey::inputDeviceID);
        m_capture = FakeAudioCapture();
        m_recorder = std::make_unique<MacAudioRecorder>(m_capture, *m_settings, folder());
    }
    void cleanup() { m_recorder.reset(); }

    void recordsWhatTheCaptureDelivers()
    {
        QSignalSpy recording(m_recorder.get(), &MacAudioRecorder::isRecordingChanged);
        OVRA_VERIFY_OK(m_recorder->start());
        QVERIFY(m_recorder->isRecording());
        const QString file = m_recorder->lastRecordingURL();
        QVERIFY(QFileInfo(file).fileName().startsWith("ovra-mac-"));
        QVERIFY(file.endsWith(".m4a") && file.startsWith(folder()));
        QTRY_VERIFY2(QFileInfo(file).size() > 0, "the file is written from the start");

        auto tone = sine(0.4, 300.0, 0.5f);
        append(tone, silence(0.8));
        m_capture.push(tone);
        const auto stopped = await(m_recorder->stop());
        QVERIFY(stopped.has_value());
        QCOMPARE(*stopped, file);
        QVERIFY(!m_recorder->isRecording());
        QCOMPARE(recording.count(), 2);
        QVERIFY(m_capture.stopped->load());

        auto decoded = AudioFile::decodeMono16k(file);
        OVRA_VERIFY_OK(decoded);
        QVERIFY2(std::abs(double(decoded->size()) - double(tone.size())) < 1024, qPrintable(QString::number(decoded->size())));
        QVERIFY2(rms(decoded->data() + 100, 800) > 0.25, "the first word is clipped");
        // Stopping again does nothing.
        QVERIFY(!await(m_recorder->stop()).has_value());
    }

    void elapsedIsExactAtStop()
    {
        QElapsedTimer wall;
        wall.start();
        OVRA_VERIFY_OK(m_recorder->start());
        QTest::qWait(700);
        if (wall.elapsed() < 950) // a loaded machine may have let the 1 s timer fire
            QCOMPARE(m_recorder->elapsed(), 0.0);
        (void)await(m_recorder->stop());
        // Nanoseconds: the recorder's clock is finer than a millisecond count.
        const double seconds = double(wall.nsecsElapsed()) / 1e9;
        QVERIFY2(m_recorder->elapsed() >= 0.69 && m_recorder->elapsed() <= seconds,
                 qPrintable(QString("%1 of %2 s").arg(m_recorder->elapsed()).arg(seconds)));
    }

    void meterFollowsTheInput_data()
    {
        QTest::addColumn<float>("amplitude");
        QTest::addColumn<float>("level");
        QTest::newRow("-60 dB gives the floor, not 0") << 0.0014f << 0.0316f;
        QTest::newRow("-9 dB") << 0.5f << 0.536f;
        QTest::newRow("full scale") << 1.41421f << 1.0f; // sine peak √2 → 0 dB average power
    }
    void meterFollowsTheInput()
    {
        QFETCH(float, amplitude);
        QFETCH(float, level);
        OVRA_VERIFY_OK(m_recorder->start());
        m_capture.push(sine(0.1, 440.0, amplitude));
        QTRY_VERIFY(m_recorder->levelStats().count >= 1);
        QVERIFY2(std::abs(m_recorder->currentLevel() - level) < 0.01, qPrintable(QString::number(m_recorder->currentLevel())));
        (void)await(m_recorder->stop());
    }

    // Twenty ticks make the second of statistics the controller needs to judge the audio.
    void twentyTicksGiveTheStatistics()
    {
        OVRA_VERIFY_OK(m_recorder->start());
        m_capture.push(sine(0.1));
        QTRY_VERIFY(m_recorder->levelStats().count >= 20);
        const DictationLevelStats stats = m_recorder->levelStats();
        QVERIFY(stats.m2 >= 0);
        QVERIFY(std::abs(stats.mean - m_recorder->currentLevel()) < 1e-6); // a steady tone
        (void)await(m_recorder->stop());
    }

    void chosenDevice_data()
    {
        QTest::addColumn<QString>("setting");
        QTest::addColumn<QString>("used");
        QTest::newRow("no setting: default input") << "" << "";
        QTest::newRow("chosen microphone") << "usb" << "usb";
        QTest::newRow("unplugged: default without error") << "gone" << "";
    }
    void chosenDevice()
    {
        QFETCH(QString, setting);
        QFETCH(QString, used);
        m_capture.list.append({"usb", "Micro USB", false});
        if (!setting.isEmpty())
            m_settings->setValue(AppSettingsKey::inputDeviceID, setting);
        OVRA_VERIFY_OK(m_recorder->start());
        QCOMPARE(m_capture.startedDevice, used);
        m_recorder->cancel();
    }

    // An unreachable sound server is not a refused microphone: permission is granted and
    // start() says what is wrong, in the words of `ovra devices`.
    void startErrors_data()
    {
        QTest::addColumn<bool>("serverUp");
        QTest::addColumn<bool>("devices");
        QTest::addColumn<QString>("startError");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("permission");
        const int failed = int(CaptureError::Kind::failed), denied = int(CaptureError::Kind::accessDenied);
        QTest::newRow("no sound server") << false << true << "" << failed
                                         << "Serveur son : connexion impossible (Connection refused)" << true;
        QTest::newRow("no microphone") << true << false << "" << failed << "No audio was recorded." << true;
        QTest::newRow("stream fails") << true << true << "Serveur son : ouverture du micro (Timeout)" << failed
                                      << "Serveur son : ouverture du micro (Timeout)" << true;
        QTest::newRow("input refused") << true << true << "Serveur son : ouverture du micro (Access denied)" << denied
                                       << "Serveur son : ouverture du micro (Access denied)" << false;
    }
    void startErrors()
    {
        QFETCH(bool, serverUp);
        QFETCH(bool, devices);
        QFETCH(QString, startError);
        QFETCH(int, kind);
        QFETCH(QString, message);
        QFETCH(bool, permission);
        m_capture.serverUp = serverUp;
        if (!devices)
            m_capture.list.clear();
        m_capture.startError = startError;
        m_capture.startErrorKind = CaptureError::Kind(kind);
        auto started = m_recorder->start();
        QVERIFY(!started);
        QCOMPARE(started.error(), message);
        QVERIFY(!m_recorder->isRecording());
        QVERIFY(QDir(folder()).isEmpty());
        // The same through the controller's path: permission first, then start.
        QCOMPARE(await(m_recorder->requestPermission()), permission);
        if (permission) {
            auto again = m_recorder->start();
            QVERIFY(!again);
            QCOMPARE(again.error(), message);
        }
        QVERIFY(QDir(folder()).isEmpty());
    }

    // The capture opens when the microphone is asked for (the shortcut's key-down), on the
    // recorder's own threads: what is said before start() is in the file, and a shared thread
    // pool kept busy by other work does not delay it.
    void captureBeginsAtThePermissionRequest()
    {
        QThreadPool* shared = QThreadPool::globalInstance();
        std::atomic<bool> release{false};
        QList<QFuture<void>> busy;
        for (int i = 0; i < shared->maxThreadCount(); ++i)
            busy << QtConcurrent::run(shared, [&release] {
                while (!release)
                    QThread::msleep(5);
            });
        auto granted = m_recorder->requestPermission();
        QTRY_VERIFY(granted.isReady());
        const bool ok = QCoro::waitFor(granted);
        release = true;
        for (auto& f : busy)
            f.waitForFinished();
        QVERIFY(ok);
        auto early = sine(0.3, 500.0, 0.5f);
        m_capture.push(early);
        OVRA_VERIFY_OK(m_recorder->start());
        m_capture.push(silence(0.7));
        const auto file = await(m_recorder->stop());
        QVERIFY(file.has_value());
        auto decoded = AudioFile::decodeMono16k(*file);
        OVRA_VERIFY_OK(decoded);
        QVERIFY2(decoded->size() >= early.size() + silence(0.7).size() - 1024, qPrintable(QString::number(decoded->size())));
        QVERIFY2(rms(decoded->data() + 200, 3000) > 0.25, "what was said before start() is lost");
    }

    // A capture opened for a dictation that never starts is closed, and leaves no file.
    void unusedCaptureCloses()
    {
        QVERIFY(await(m_recorder->requestPermission()));
        m_capture.push(sine(0.2));
        QVERIFY(!m_capture.stopped->load());
        QTRY_VERIFY_WITH_TIMEOUT(m_capture.stopped->load(), MacAudioRecorder::kPreparedCaptureMs + 5000);
        QTRY_VERIFY(QDir(folder()).isEmpty());
        QVERIFY(!m_recorder->isRecording());
    }

    // Recordings are the user's voice: owner-only file in an owner-only folder.
    void recordingsAreOwnerOnly()
    {
        const QString nested = QDir(folder()).filePath("ovra");
        MacAudioRecorder recorder(m_capture, *m_settings, nested);
        OVRA_VERIFY_OK(recorder.start());
        m_capture.push(sine(0.6));
        const auto file = await(recorder.stop());
        QVERIFY(file.has_value());
        QCOMPARE(QFileInfo(*file).path(), nested);
        const auto mode = [](const QString& path) {
            struct stat st{};
            return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 0777) : -1;
        };
        QCOMPARE(mode(*file), 0600);
        QCOMPARE(mode(nested), 0700);
    }

    void deviceGoneMidway_data()
    {
        QTest::addColumn<double>("recorded");
        QTest::addColumn<bool>("kept");
        QTest::newRow("1 s kept") << 1.0 << true;
        QTest::newRow("0.3 s dropped") << 0.3 << false;
    }
    void deviceGoneMidway()
    {
        QFETCH(double, recorded);
        QFETCH(bool, kept);
        QSignalSpy interrupted(m_recorder.get(), &MacAudioRecorder::interrupted);
        OVRA_VERIFY_OK(m_recorder->start());
        const QString file = m_recorder->lastRecordingURL();
        m_capture.push(sine(recorded));
        m_capture.end("Serveur son : le micro a disparu (Entity killed)");
        QTRY_COMPARE(interrupted.count(), 1);
        QCOMPARE(interrupted.at(0).at(0).toString(), QString("Serveur son : le micro a disparu (Entity killed)"));
        m_capture.push(sine(1.0)); // nothing after the end counts
        const auto stopped = await(m_recorder->stop());
        QCOMPARE(stopped.has_value(), kept);
        QCOMPARE(QFileInfo::exists(file), kept);
        if (kept) {
            auto seconds = AudioFile::duration(file);
            OVRA_VERIFY_OK(seconds);
            QVERIFY(std::abs(*seconds - recorded) < 0.1);
            QVERIFY(std::abs(m_recorder->elapsed() - recorded) < 0.05);
        }
    }

    void cancelDeletesTheFile()
    {
        OVRA_VERIFY_OK(m_recorder->start());
        const QString file = m_recorder->lastRecordingURL();
        m_capture.push(sine(1.0));
        QTRY_VERIFY(QFileInfo::exists(file)); // opened on the output's thread
        m_recorder->cancel();
        QVERIFY(!m_recorder->isRecording());
        QVERIFY(m_recorder->lastRecordingURL().isEmpty());
        // Closing happens off the main thread.
        QTRY_VERIFY(m_capture.stopped->load());
        QTRY_VERIFY(!QFileInfo::exists(file));
    }

    // Cancel after stop (an Escape while the file is being finished) leaves the finished
    // recording to whoever stopped it.
    void cancelAfterStopKeepsTheFile()
    {
        OVRA_VERIFY_OK(m_recorder->start());
        m_capture.push(sine(1.0));
        auto stopping = m_recorder->stop();
        m_recorder->cancel();
        const auto file = QCoro::waitFor(stopping);
        QVERIFY(file.has_value());
        m_recorder->cancel();
        QVERIFY(QFileInfo::exists(*file));
    }

    // A file-size limit stands in for a full disk: the write fails like ENOSPC would.
    void fullDisk()
    {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit old{};
        getrlimit(RLIMIT_FSIZE, &old);
        QSignalSpy interrupted(m_recorder.get(), &MacAudioRecorder::interrupted);
        OVRA_VERIFY_OK(m_recorder->start());
        const QString file = m_recorder->lastRecordingURL();
        rlimit tight{4096, old.rlim_max};
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &tight), 0);
        m_capture.push(noise(20.0, 0.3f));
        QTRY_COMPARE(interrupted.count(), 1);
        const auto stopped = await(m_recorder->stop());
        setrlimit(RLIMIT_FSIZE, &old);
        QVERIFY(!interrupted.at(0).at(0).toString().isEmpty());
        // The index could not be written either: no unplayable file is left behind.
        QVERIFY(!stopped.has_value());
        QVERIFY(!QFileInfo::exists(file));
    }
};

QTEST_GUILESS_MAIN(TestMacAudioRecorder)
#include "tst_macaudiorecorder.moc"
