#include "audio/AudioFixtures.h"
#include "dictation/FakeAudioCapture.h"
#include "dictation/FakeSpeechEngine.h"
#include "dictation/MacLiveTranscriber.h"
#include "store/Settings.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace AudioFixtures;
using namespace std::chrono_literals;

class TestMacLiveTranscriber : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    std::unique_ptr<Settings> m_settings;
    FakeAudioCapture m_capture;
    FakeSpeechEngine m_engine;
    std::unique_ptr<MacLiveTranscriber> m_live;

private Q_SLOTS:
    void init()
    {
        m_settings = std::make_unique<Settings>(m_dir.filePath("config"));
        m_capture = FakeAudioCapture();
        m_engine = FakeSpeechEngine();
        m_live = std::make_unique<MacLiveTranscriber>(m_capture, m_engine, *m_settings, 300ms);
    }
    void cleanup() { m_live.reset(); }

    void startErrors_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("openError");
        QTest::addColumn<bool>("devices");
        QTest::addColumn<QString>("message");
        const QString unavailable = "La reconnaissance vocale n'est pas disponible pour cette langue sur ce Mac.";
        QTest::newRow("language not installed") << "de-DE" << "" << true << unavailable;
        QTest::newRow("model does not load") << "en-US" << "modèle illisible" << true << unavailable;
        QTest::newRow("no microphone") << "en-US" << "" << false << "No audio was recorded.";
    }
    void startErrors()
    {
        QFETCH(QString, language);
        QFETCH(QString, openError);
        QFETCH(bool, devices);
        QFETCH(QString, message);
        m_engine.openError = openError;
        if (!devices)
            m_capture.list.clear();
        auto started = await(m_live->start(language));
        QVERIFY(!started);
        QCOMPARE(started.error(), message);
        QVERIFY(!m_live->isRunning());
    }

    void autoIsTheUsersLocale()
    {
        OVRA_VERIFY_OK(await(m_live->start("auto")));
        QCOMPARE(m_engine.openedLocale, QString("fr-FR"));
        m_live->cancel();
    }

    void textGrowsThenFinalAtStop()
    {
        QSignalSpy partial(m_live.get(), &MacLiveTranscriber::partialTextChanged);
        OVRA_VERIFY_OK(await(m_live->start("en-US")));
        QVERIFY(m_live->isRunning());
        for (int i = 0; i < 3; ++i) {
            m_capture.push(sine(0.5));
            QTRY_COMPARE(m_live->partialText().count("mot"), i + 1);
        }
        QCOMPARE(partial.count(), 3);
        QTest::qWait(100);
        QCoro::waitFor(m_live->stop());
        QVERIFY(!m_live->isRunning());
        QCOMPARE(m_live->finalText(), QString("mot1 mot2 mot3 fin"));
        QCOMPARE(m_live->partialText(), m_live->finalText());
        QVERIFY(m_capture.stopped->load());
        // 1.5 s of audio: one meter value per 50 ms.
        QCOMPARE(m_live->levelStats().count, 30);
        QVERIFY(m_live->elapsed() > 0.05);
    }

    void nothingRecognised()
    {
        m_engine.silent = true;
        OVRA_VERIFY_OK(await(m_live->start("en-US")));
        m_capture.push(silence(1.0));
        QCoro::waitFor(m_live->stop());
        QCOMPARE(m_live->finalText(), QString());
        QCOMPARE(m_live->levelStats().count, 20);
        QVERIFY(std::abs(m_live->currentLevel() - 0.0316f) < 0.001f);
    }

    // A recogniser that never answers does not hang the dictation: the text so far is kept.
    void finalWaitIsBounded()
    {
        m_engine.finishDelay = 3s;
        OVRA_VERIFY_OK(await(m_live->start("en-US")));
        m_capture.push(sine(1.0));
        QTRY_COMPARE(m_live->partialText(), QString("mot1 mot2"));
        QElapsedTimer t;
        t.start();
        QCoro::waitFor(m_live->stop());
        QVERIFY(t.elapsed() < 2000);
        QCOMPARE(m_live->finalText(), QString("mot1 mot2"));
        QVERIFY(!m_live->isRunning());
    }

    void microphoneGoneKeepsTheText()
    {
        OVRA_VERIFY_OK(await(m_live->start("en-US")));
        m_capture.push(sine(0.5));
        m_capture.end("Serveur son : le micro a disparu");
        QTest::qWait(100);
        QCoro::waitFor(m_live->stop());
        QCOMPARE(m_live->finalText(), QString("mot1 fin"));
    }

    void cancelDeliversNothing()
    {
        OVRA_VERIFY_OK(await(m_live->start("en-US")));
        m_capture.push(sine(1.0));
        QTRY_VERIFY(!m_live->partialText().isEmpty());
        m_live->cancel();
        QVERIFY(!m_live->isRunning());
        QVERIFY(m_live->partialText().isEmpty());
        QVERIFY(m_live->finalText().isEmpty());
        QTest::qWait(50);
        QVERIFY(m_live->partialText().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestMacLiveTranscriber)
#include "tst_maclivetranscriber.moc"
