#include "audio/AudioFile.h"
#include "audio/AudioFixtures.h"

#include <QProcess>
#include <csignal>
#include <QTemporaryDir>
#include <QTest>

class TestAudioCli : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;

    struct Run
    {
        int code = -1;
        QString out, err;
    };
    Run ovra(const QStringList& args, const QByteArray& input = {}, bool closeInput = true)
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_DATA_HOME", m_dir.filePath("data"));
        env.insert("XDG_CONFIG_HOME", m_dir.filePath("config"));
        p.setProcessEnvironment(env);
        p.start(OVRA_BINARY, args);
        p.waitForStarted();
        if (!input.isEmpty())
            p.write(input);
        if (closeInput)
            p.closeWriteChannel();
        p.waitForFinished(60000);
        return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
    }

private Q_SLOTS:
    void devicesListsTheMicrophone()
    {
        const Run r = ovra({"devices"});
        QCOMPARE(r.code, 0);
        QVERIFY2(r.out.startsWith("mic\t"), qPrintable(r.out));
        QVERIFY(!r.out.contains("spk.monitor"));
    }

    void recordThenRecognize()
    {
        const QString speech = m_dir.filePath("hello.wav");
        QVERIFY(AudioFixtures::speechWav(speech, "hello world this is a test", 0.2));
        QProcess player;
        player.setProgram("sh");
        player.setArguments({"-c", "sleep 0.5; paplay -d spk " + speech});
        player.start();
        const QString out = m_dir.filePath("take.m4a");
        const Run rec = ovra({"record", out, "--seconds", "8"}); // room for a slow paplay start
        player.waitForFinished();
        QVERIFY2(rec.code == 0, qPrintable(rec.err));
        QCOMPARE(rec.out.trimmed(), out);
        // What the recording holds is checked by tst_pulserecorder; here: the file and its length.
        auto seconds = AudioFile::duration(out);
        OVRA_VERIFY_OK(seconds);
        QVERIFY2(*seconds > 7.0 && *seconds < 9.0, qPrintable(QString::number(*seconds)));
        auto samples = AudioFile::decodeMono16k(out);
        OVRA_VERIFY_OK(samples);
        QVERIFY(AudioFixtures::rms(samples->data(), samples->size()) > 0.01);
    }

    void enterStopsTheRecording()
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_DATA_HOME", m_dir.filePath("data"));
        p.setProcessEnvironment(env);
        p.start(OVRA_BINARY, {"record", m_dir.filePath("enter.wav")});
        QVERIFY(p.waitForStarted());
        QTest::qWait(800);
        p.write("\n");
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), 0);
        // The name asks for WAV: a WAV file, not M4A data under a .wav name.
        QFile wav(m_dir.filePath("enter.wav"));
        QVERIFY(wav.open(QIODevice::ReadOnly));
        QCOMPARE(wav.read(4), QByteArray("RIFF"));
    }

    // A whole dictation from the microphone with the system recogniser, recorded and live; the
    // named mode serves once and the active mode stays as it was.
    void dictate_data()
    {
        QTest::addColumn<QString>("live");
        QTest::newRow("recorded") << "off";
        QTest::newRow("live") << "on";
    }
    void dictate()
    {
        QFETCH(QString, live);
        const QString name = "Sphinx-" + live;
        Run add = ovra({"modes", "add", name, "--provider", "apple", "--language", "en-US", "--ai", "off", "--live", live});
        QVERIFY2(add.code == 0, qPrintable(add.err));
        const QString active = "Active-" + live;
        QCOMPARE(ovra({"modes", "add", active, "--provider", "apple"}).code, 0);
        QCOMPARE(ovra({"modes", "activate", active}).code, 0);
        const QString speech = m_dir.filePath("dictate.wav");
        QVERIFY(AudioFixtures::speechWav(speech, "hello world this is a test", 0.2));
        QProcess player;
        player.start("sh", {"-c", "sleep 0.8; paplay -d spk " + speech});
        const Run r = ovra({"dictate", "--seconds", "7", "--mode", name});
        player.waitForFinished();
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QVERIFY2(r.err.contains("7 s au plus"), qPrintable(r.err));
        QVERIFY2(!r.out.trimmed().isEmpty(), qPrintable(r.err));
        const Run history = ovra({"history", "--json"});
        QVERIFY2(history.out.contains(r.out.trimmed()), qPrintable(history.out));
        QCOMPARE(ovra({"settings", "get", "mirelo.mode.activeName"}).out.trimmed(), active);
    }

    // Ctrl-C, SIGTERM (logout) or a closed terminal during a recording: the file is finished
    // and kept, and the command ends as Enter would end it.
    void signalFinishesTheRecording_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("Ctrl-C") << int(SIGINT);
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("terminal closed") << int(SIGHUP);
    }
    void signalFinishesTheRecording()
    {
        QFETCH(int, signal);
        const QString target = m_dir.filePath(QString("signal-%1.m4a").arg(signal));
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_DATA_HOME", m_dir.filePath("data"));
        p.setProcessEnvironment(env);
        p.start(OVRA_BINARY, {"record", target});
        QVERIFY(p.waitForStarted());
        QString err;
        QTRY_VERIFY_WITH_TIMEOUT((err += QString::fromUtf8(p.readAllStandardError())).contains("Enregistrement"), 10000);
        QTest::qWait(1000); // something to keep
        ::kill(pid_t(p.processId()), signal);
        QVERIFY(p.waitForFinished(15000));
        err += QString::fromUtf8(p.readAllStandardError());
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QVERIFY2(p.exitCode() == 0, qPrintable(err));
        QCOMPARE(QString::fromUtf8(p.readAllStandardOutput()).trimmed(), target);
        auto seconds = AudioFile::duration(target);
        OVRA_VERIFY_OK(seconds);
        QVERIFY2(*seconds >= 0.8, qPrintable(QString::number(*seconds)));
    }

    // SIGTERM during `ovra dictate`: the dictation goes through the pipeline and is stored.
    void signalFinishesTheDictation()
    {
        QVERIFY(ovra({"modes", "add", "Sphinx-signal", "--provider", "apple", "--language", "en-US", "--ai", "off"}).code == 0);
        const QString speech = m_dir.filePath("signal.wav");
        QVERIFY(AudioFixtures::speechWav(speech, "hello world this is a test", 0.2));
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_DATA_HOME", m_dir.filePath("data"));
        env.insert("XDG_CONFIG_HOME", m_dir.filePath("config"));
        p.setProcessEnvironment(env);
        p.start(OVRA_BINARY, {"dictate", "--mode", "Sphinx-signal"});
        QVERIFY(p.waitForStarted());
        QString err;
        QTRY_VERIFY_WITH_TIMEOUT((err += QString::fromUtf8(p.readAllStandardError())).contains("Dictée"), 10000);
        QCOMPARE(QProcess::execute("paplay", {"-d", "spk", speech}), 0);
        ::kill(pid_t(p.processId()), SIGTERM);
        QVERIFY(p.waitForFinished(60000));
        err += QString::fromUtf8(p.readAllStandardError());
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QVERIFY2(p.exitCode() == 0, qPrintable(err));
        const QString text = QString::fromUtf8(p.readAllStandardOutput()).trimmed();
        QVERIFY2(text.contains("hello world"), qPrintable(text + err));
        QVERIFY2(ovra({"history", "--json"}).out.contains(text), qPrintable(text));
    }

    void errors_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");
        QTest::newRow("record without a file") << QStringList{"record"} << 2 << "Usage : ovra record";
        QTest::newRow("unknown format") << QStringList{"record", "x.mp3"} << 2 << "Format non pris en charge";
        QTest::newRow("negative seconds") << QStringList{"record", "x.m4a", "--seconds", "-1"} << 2 << "--seconds";
        QTest::newRow("dictate with an unknown mode") << QStringList{"dictate", "--mode", "Nope", "--seconds", "1"} << 1
                                                      << "Nope";
        QTest::newRow("language not installed") << QStringList{"recognize", "/dev/null", "--language", "fr-FR"} << 1
                                                << "Apple Speech does not support \u201Cfr-FR\u201D on this device.";
        QTest::newRow("not audio") << QStringList{"recognize", OVRA_BINARY, "--language", "en-US"} << 1
                                   << "Fichier audio illisible";
    }
    void errors()
    {
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QString, message);
        const Run r = ovra(args);
        QCOMPARE(r.code, code);
        QVERIFY2(r.err.contains(message), qPrintable(r.err));
    }

    // The README's first command: a spoken sample made and transcribed on the spot.
    void demoScript()
    {
        QProcess p;
        p.start("bash", {OVRA_DEMO, OVRA_BINARY});
        QVERIFY(p.waitForFinished(60000));
        const QString out = QString::fromUtf8(p.readAllStandardOutput());
        QVERIFY2(p.exitCode() == 0, qPrintable(out + p.readAllStandardError()));
        QVERIFY2(out.contains("hello world"), qPrintable(out));
    }
};

QTEST_GUILESS_MAIN(TestAudioCli)
#include "tst_audiocli.moc"
