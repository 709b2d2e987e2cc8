#include "platform/linux/sound/PulseSoundPlayer.h"
#include "platform/linux/sound/SoundSamples.h"

#include <QFuture>
#include <QTest>

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

        PulseSoundPlayer player;
        QFuture<Expected<void, QString>> played = player.playSound(sound);
        played.waitForFinished();
        QVERIFY2(played.result(), qPrintable(played.result() ? QString() : played.result().error()));
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
