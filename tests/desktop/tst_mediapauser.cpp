#include "dictation/MacMediaPauser.h"
#include "platform/linux/dbus/MprisPlayers.h"
#include "store/AppSettingsKeys.h"
#include "store/DebugLog.h"
#include "store/Settings.h"

#include <QCoroTask>
#include <QDBusConnection>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

// Real MPRIS calls on a private session bus, to fake players running as their own processes.
class MediaPauserTest : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    std::unique_ptr<Settings> m_settings;
    std::unique_ptr<DebugLog> m_log;
    MprisPlayers m_players;
    std::vector<std::unique_ptr<QProcess>> m_processes;

    QProcess& startPlayer(const QString& name, const QString& status, bool refuse = false, int slowMs = 0)
    {
        auto p = std::make_unique<QProcess>();
        QStringList args{name, status};
        if (refuse)
            args << QStringLiteral("--refuse");
        if (slowMs > 0)
            args << QStringLiteral("--slow") << QString::number(slowMs);
        p->start(QStringLiteral(FAKE_MPRIS_PLAYER), args);
        m_processes.push_back(std::move(p));
        return *m_processes.back();
    }
    QStringList running() { return QCoro::waitFor(m_players.runningPlayers()); }
    static QCoro::Task<QString> status(MprisPlayers& players, QString name)
    {
        const auto playing = co_await players.isPlaying(QStringLiteral("org.mpris.MediaPlayer2.") + name);
        co_return !playing ? QStringLiteral("error") : *playing ? QStringLiteral("Playing") : QStringLiteral("other");
    }
    QString statusOf(const QString& name) { return QCoro::waitFor(status(m_players, name)); }
    static QString player(const QString& name) { return QStringLiteral("org.mpris.MediaPlayer2.") + name; }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_players.isAvailable()); }

    void init()
    {
        m_settings = std::make_unique<Settings>(m_dir.filePath(QStringLiteral("config")));
        m_log = std::make_unique<DebugLog>(m_dir.path());
        m_log->clear();
        m_settings->remove(AppSettingsKey::pauseMedia);
    }

    void cleanup()
    {
        for (auto& p : m_processes) {
            p->kill();
            p->waitForFinished();
        }
        m_processes.clear();
        QTRY_VERIFY(running().isEmpty());
    }

    void pausesWhatPlaysAndResumesExactlyThat()
    {
        startPlayer(QStringLiteral("music"), QStringLiteral("Playing"));
        startPlayer(QStringLiteral("video"), QStringLiteral("Playing"));
        startPlayer(QStringLiteral("podcast"), QStringLiteral("Paused"));
        startPlayer(QStringLiteral("radio"), QStringLiteral("Stopped"));
        QTRY_COMPARE(running().size(), 4);

        MacMediaPauser pauser(m_players, *m_settings, *m_log);
        QSignalSpy paused(&pauser, &MacMediaPauser::pauseFinished);
        pauser.pause();
        QTRY_COMPARE(paused.size(), 1);
        QCOMPARE(pauser.pausedByUs(), (QStringList{player("music"), player("video")}));
        QCOMPARE(statusOf(QStringLiteral("music")), QStringLiteral("other"));
        QCOMPARE(statusOf(QStringLiteral("video")), QStringLiteral("other"));

        QSignalSpy resumed(&pauser, &MacMediaPauser::resumeFinished);
        pauser.resume();
        QTRY_COMPARE(resumed.size(), 1);
        QCOMPARE(statusOf(QStringLiteral("music")), QStringLiteral("Playing"));
        QCOMPARE(statusOf(QStringLiteral("video")), QStringLiteral("Playing"));
        // The player the user had paused stays paused.
        QCOMPARE(statusOf(QStringLiteral("podcast")), QStringLiteral("other"));
        QVERIFY(pauser.pausedByUs().isEmpty());
    }

    void resumeRightAfterPauseWaitsForIt()
    {
        startPlayer(QStringLiteral("music"), QStringLiteral("Playing"));
        QTRY_COMPARE(running().size(), 1);
        MacMediaPauser pauser(m_players, *m_settings, *m_log);
        QSignalSpy resumed(&pauser, &MacMediaPauser::resumeFinished);
        pauser.pause();
        pauser.resume();
        QTRY_COMPARE(resumed.size(), 1);
        QCOMPARE(statusOf(QStringLiteral("music")), QStringLiteral("Playing"));
    }

    void newRecordingWhileThePauseIsQuerying()
    {
        startPlayer(QStringLiteral("music"), QStringLiteral("Playing"));
        QTRY_COMPARE(running().size(), 1);
        MacMediaPauser pauser(m_players, *m_settings, *m_log);
        QSignalSpy paused(&pauser, &MacMediaPauser::pauseFinished);
        QSignalSpy resumed(&pauser, &MacMediaPauser::resumeFinished);
        // Recording, stop, recording again, in one go. The first pause is usually still waiting
        // for its answers; when the bus answered at once it is done and the resume ran, and the
        // second recording paused again. Either way the music ends paused, by us.
        pauser.pause();
        pauser.resume();
        pauser.pause();
        QTRY_VERIFY(paused.size() >= 1 && resumed.size() == paused.size() - 1 &&
                    pauser.pausedByUs() == QStringList{player("music")});
        QTest::qWait(100); // nothing else may follow
        QCOMPARE(resumed.size(), paused.size() - 1);
        QCOMPARE(statusOf(QStringLiteral("music")), QStringLiteral("other"));
        resumed.clear();

        pauser.resume();
        QTRY_COMPARE(resumed.size(), 1);
        QCOMPARE(statusOf(QStringLiteral("music")), QStringLiteral("Playing"));
    }

    // The music takes a while to start again when a new recording begins: it must not start
    // playing during that recording.
    void newRecordingWhileTheResumeIsPlaying()
    {
        startPlayer(QStringLiteral("music"), QStringLiteral("Playing"), false, 300);
        QTRY_COMPARE(running().size(), 1);
        MacMediaPauser pauser(m_players, *m_settings, *m_log);
        QSignalSpy paused(&pauser, &MacMediaPauser::pauseFinished);
        QSignalSpy resumed(&pauser, &MacMediaPauser::resumeFinished);
        pauser.pause();
        QTRY_COMPARE_WITH_TIMEOUT(paused.size(), 1, 10000);
        pauser.resume(); // Play is under way for 300 ms
        pauser.pause();
        QTRY_COMPARE_WITH_TIMEOUT(paused.size(), 2, 10000);
        QCOMPARE(resumed.size(), 1);
        QCOMPARE(pauser.pausedByUs(), QStringList{player("music")});
        QCOMPARE(statusOf(QStringLiteral("music")), QStringLiteral("other"));

        // A stop during that resume cancels the pause it was holding back.
        pauser.resume();
        pauser.pause();
        pauser.resume();
        QTRY_COMPARE_WITH_TIMEOUT(resumed.size(), 2, 10000);
        QTest::qWait(400);
        QCOMPARE(paused.size(), 2);
        QCOMPARE(statusOf(QStringLiteral("music")), QStringLiteral("Playing"));
    }

    void settingOffPausesNothingButStillResumes()
    {
        startPlayer(QStringLiteral("music"), QStringLiteral("Playing"));
        QTRY_COMPARE(running().size(), 1);
        MacMediaPauser pauser(m_players, *m_settings, *m_log);
        QSignalSpy paused(&pauser, &MacMediaPauser::pauseFinished);
        QSignalSpy resumed(&pauser, &MacMediaPauser::resumeFinished);

        m_settings->setValue(AppSettingsKey::pauseMedia, false);
        pauser.pause();
        QTest::qWait(200);
        QCOMPARE(paused.size(), 0);
        QCOMPARE(statusOf(QStringLiteral("music")), QStringLiteral("Playing"));

        // A non-boolean value means on; switching off during the recording still resumes.
        m_settings->setValue(AppSettingsKey::pauseMedia, QStringLiteral("oui"));
        pauser.pause();
        QTRY_COMPARE(paused.size(), 1);
        m_settings->setValue(AppSettingsKey::pauseMedia, false);
        pauser.resume();
        QTRY_COMPARE(resumed.size(), 1);
        QCOMPARE(statusOf(QStringLiteral("music")), QStringLiteral("Playing"));
    }

    void refusingOrVanishedPlayers()
    {
        startPlayer(QStringLiteral("locked"), QStringLiteral("Playing"), true);
        QProcess& leaving = startPlayer(QStringLiteral("leaving"), QStringLiteral("Playing"));
        QTRY_COMPARE(running().size(), 2);
        MacMediaPauser pauser(m_players, *m_settings, *m_log);
        QSignalSpy paused(&pauser, &MacMediaPauser::pauseFinished);
        pauser.pause();
        QTRY_COMPARE(paused.size(), 1);
        QCOMPARE(pauser.pausedByUs(), QStringList{player("leaving")});
        QVERIFY(m_log->contents().contains(QStringLiteral("MAC media pause: erreur MPRIS ") + player("locked")));

        leaving.kill();
        leaving.waitForFinished();
        QTRY_COMPARE(running().size(), 1);
        QSignalSpy resumed(&pauser, &MacMediaPauser::resumeFinished);
        pauser.resume();
        QTRY_COMPARE(resumed.size(), 1);
        QVERIFY(pauser.pausedByUs().isEmpty());
    }

    void withoutASessionBus()
    {
        MprisPlayers none(QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"),
                                                        QStringLiteral("nowhere")));
        QVERIFY(!none.isAvailable());
        QVERIFY(QCoro::waitFor(none.runningPlayers()).isEmpty());
        MacMediaPauser pauser(none, *m_settings, *m_log);
        pauser.pause();
        pauser.resume();
        QVERIFY(pauser.pausedByUs().isEmpty());
    }
};

QTEST_GUILESS_MAIN(MediaPauserTest)
#include "tst_mediapauser.moc"
