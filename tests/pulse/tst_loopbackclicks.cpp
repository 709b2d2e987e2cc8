// Sample-exact proof that a dictation keeps its first words: a train of clicks at known offsets
// is played into the virtual microphone right after the recording started, and every click
// must be in the recorded file at its offset, run after run.
#include "audio/AudioFile.h"
#include "audio/AudioFixtures.h"
#include "dictation/MacAudioRecorder.h"
#include "platform/linux/pulse/PulseAudioCapture.h"
#include "store/AppSettingsKeys.h"
#include "store/Settings.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace AudioFixtures;

namespace {

constexpr int kRate = 16000;
// Irregular gaps, so that a missing first click cannot pass for the train shifted by one.
const std::vector<int> kClickMs{0, 90, 230, 420, 660, 950, 1290};
constexpr int kToleranceMs = 10;

std::vector<float> clickTrain()
{
    std::vector<float> s = silence(1.6);
    for (int ms : kClickMs) {
        const size_t at = size_t(ms) * kRate / 1000;
        for (size_t i = 0; i < 48; ++i) // 3 ms of 2 kHz
            s[at + i] = 0.8f * float(std::sin(2 * M_PI * 2000.0 * double(i) / kRate));
    }
    return s;
}

// Onsets of the clicks in milliseconds.
std::vector<double> onsets(const std::vector<float>& samples)
{
    std::vector<double> out;
    for (size_t i = 0; i < samples.size();) {
        if (std::abs(samples[i]) > 0.3f) {
            out.push_back(double(i) * 1000.0 / kRate);
            i += kRate / 20; // past the click and its encoder ringing
        } else {
            ++i;
        }
    }
    return out;
}

} // namespace

class TestLoopbackClicks : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    QString m_clicks;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(!qEnvironmentVariableIsEmpty("PULSE_SERVER"), "run through tests/rigs/with-pulse.sh");
        m_clicks = m_dir.filePath("clicks.wav");
        QVERIFY(writeWav(m_clicks, clickTrain()));
    }

    // As the shortcut does it: key-down asks for the microphone, then starts the recorder;
    // the user speaks at once.
    void everyClickAtItsOffset()
    {
        Settings settings(m_dir.filePath("config"));
        settings.setValue(AppSettingsKey::inputDeviceID, "mic");
        PulseAudioCapture capture;
        MacAudioRecorder recorder(capture, settings, m_dir.filePath("recordings"));

        for (int run = 1; run <= 20; ++run) {
            QVERIFY(QCoro::waitFor(recorder.requestPermission()));
            OVRA_VERIFY_OK(recorder.start());
            QProcess player;
            player.start("paplay", {"-d", "spk", m_clicks});
            QVERIFY(player.waitForStarted());
            QTRY_VERIFY_WITH_TIMEOUT(player.state() == QProcess::NotRunning, 20000);
            QCOMPARE(player.exitCode(), 0);
            QTest::qWait(150); // the sound server's last fragment
            const auto file = QCoro::waitFor(recorder.stop());
            QVERIFY(file.has_value());

            auto samples = AudioFile::decodeMono16k(*file);
            OVRA_VERIFY_OK(samples);
            const std::vector<double> found = onsets(*samples);
            QString seen;
            for (double ms : found)
                seen += QString::number(ms, 'f', 1) + ' ';
            const QString where = QString("run %1, clicks at %2ms of %3 ms").arg(run).arg(seen).arg(samples->size() / 16);
            QVERIFY2(found.size() == kClickMs.size(), qPrintable(where));
            // The AAC encoder delay and the player's start shift every position alike: the
            // offsets are measured from the first click, which the gaps identify.
            for (size_t i = 0; i < kClickMs.size(); ++i)
                QVERIFY2(std::abs(found[i] - found.front() - kClickMs[i]) <= kToleranceMs, qPrintable(where));
            QFile::remove(*file);
        }
    }
};

QTEST_GUILESS_MAIN(TestLoopbackClicks)
#include "tst_loopbackclicks.moc"
