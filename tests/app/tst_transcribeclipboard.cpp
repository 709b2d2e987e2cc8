// `ovra transcribe` under an X server: real speech (espeak-ng) through the system recogniser,
// the final text on stdout and on the CLIPBOARD selection, still there after ovra has exited.
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

class TestTranscribeClipboard : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;

    static QString run(const QString& program, const QStringList& args, int* code = nullptr,
                       const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment())
    {
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(program, args);
        p.closeWriteChannel();
        p.waitForFinished(60000);
        if (code)
            *code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        return QString::fromUtf8(p.readAllStandardOutput());
    }

private Q_SLOTS:
    void finalTextLandsOnTheClipboard()
    {
        if (qEnvironmentVariable("DISPLAY").isEmpty())
            QSKIP("needs the X server of tests/rigs/with-xvfb.sh");
        const QString wav = m_home.filePath("hello.wav");
        int code = -1;
        run("espeak-ng", {"-v", "en-us+m1", "-s", "140", "-w", m_home.filePath("raw.wav"), "hello world this is a test"},
            &code);
        QCOMPARE(code, 0);
        run("sox", {"-D", m_home.filePath("raw.wav"), "-r", "16000", "-c", "1", "-b", "16", wav, "pad", "0.5", "0.5"},
            &code);
        QCOMPARE(code, 0);
        run("xclip", {"-selection", "clipboard", "-i", "/dev/null"}, &code);

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_DATA_HOME", m_home.filePath("data"));
        env.insert("XDG_CONFIG_HOME", m_home.filePath("config"));
        const QString out = run(OVRA_BINARY, {"transcribe", wav, "--provider", "apple", "--language", "en-US"}, &code,
                                env);
        QCOMPARE(code, 0);
        QVERIFY2(out.contains("hello world"), qPrintable(out));
        QCOMPARE(run("xclip", {"-selection", "clipboard", "-o"}), out.trimmed());
    }
};

QTEST_GUILESS_MAIN(TestTranscribeClipboard)
#include "tst_transcribeclipboard.moc"
