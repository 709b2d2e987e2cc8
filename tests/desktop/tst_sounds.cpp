#include "platform/linux/pulse/PulseAudioCapture.h"
#include "platform/linux/sound/PulseSoundPlayer.h"
#include "platform/linux/sound/SoundSamples.h"

#include <QFuture>
#include <QTest>
#include <mutex>

Q_DECLARE_METATYPE(SystemSound)

// Plays the sounds on a private PulseAudio server.
class SoundsTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void eachSoundPlays_data()
    {
        QTest::addColumn<SystemSound>("sound");
        QTest::newRow("pop") << SystemSound::pop;
        QTest::newRow("glass") << SystemSound::glass;
        QTest::newRow("beep") << SystemSound::beep;
    }
    void eachSoundPlays()
    {
        QFETCH(SystemSound, sound);
        const QVector<qint16> samples = SoundSamples::samples(sound);
        QVERIFY(samples.size() > SoundSamples::kRate / 50);
        QVERIFY(samples.size() < SoundSamples::kRate);
        const auto loudest = std::max_element(samples.begin(), samples.end());
        QVERIFY(*loudest > 5000);
        // Fades out: no click at the end.
        QVERIFY(std::abs(samples.last()) < 200);

        // What reaches the server comes back out of the rig's microphone (the output's monitor).
        PulseAudioCapture capture;
        std::mutex mutex;
        float heard = 0;
        auto listening = capture.start("mic", {[&](std::span<const float> s) {
                                                   std::lock_guard lock(mutex);
                                                   for (float x : s)
                                                       heard = std::max(heard, std::abs(x));
                                               },
                                               {}});
        QVERIFY2(listening, qPrintable(listening ? QString() : listening.error().message));
        const auto loudness = [&] {
            std::lock_guard lock(mutex);
            return heard;
        };
        QCOMPARE(loudness(), 0.0f);

        PulseSoundPlayer player;
        QFuture<Expected<void, QString>> played = player.playSound(sound);
        played.waitForFinished();
        QVERIFY2(played.result(), qPrintable(played.result() ? QString() : played.result().error()));
        // The sound's peak is about 0.6 of full scale.
        QTRY_VERIFY2(loudness() > 0.3f, qPrintable(QString::number(loudness())));
        listening.value()->stop();
    }

    void noSoundServerIsAnErrorNotACrash()
    {
        qputenv("PULSE_SERVER", "unix:/nonexistent/native");
        PulseSoundPlayer player;
        player.play(SystemSound::beep);
        QFuture<Expected<void, QString>> played = player.playSound(SystemSound::pop);
        played.waitForFinished();
        QVERIFY(!played.result());
        QVERIFY(!played.result().error().isEmpty());
    }
};

QTEST_GUILESS_MAIN(SoundsTest)
#include "tst_sounds.moc"
