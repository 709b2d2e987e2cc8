// The command line on a terminal (a pseudo-terminal from tests/app/pty-run.py): the hidden key
// prompt and the progress line; through pipes, neither.
#include "fakes/OvraProcess.h"
#include "fakes/WavHeader.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestCliTerminal : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;

    QProcessEnvironment env() const
    {
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        e.insert(QStringLiteral("XDG_DATA_HOME"), m_home.filePath(QStringLiteral("data")));
        e.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.filePath(QStringLiteral("config")));
        e.insert(QStringLiteral("OVRA_SECRET_STORE"), QStringLiteral("memory"));
        return e;
    }
    // Everything the terminal showed (stdout and stderr together), and the exit code.
    std::pair<int, QString> onTerminal(const QStringList& args, const QStringList& answer = {})
    {
        QProcess p;
        p.setProcessEnvironment(env());
        p.start(QStringLiteral("python3"), QStringList{QStringLiteral(PTY_RUN)} + answer + QStringList{"--", OVRA_BINARY} + args);
        if (!p.waitForFinished(90000)) {
            p.kill();
            p.waitForFinished();
            return {-1, QStringLiteral("timed out")};
        }
        return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput())};
    }
    QString silentWav()
    {
        QFile wav(m_home.filePath(QStringLiteral("quiet.wav")));
        if (wav.open(QIODevice::WriteOnly))
            wav.write(wavHeader(32000, 16000, 1) + QByteArray(32000, '\0'));
        return wav.fileName();
    }

private Q_SLOTS:
    void keyIsTypedWithoutEcho()
    {
        const auto [code, shown] = onTerminal({"keys", "set", "groq"}, {"--answer", "Clé Groq : ", "gsk_typed_secret"});
        QCOMPARE(code, 0);
        QVERIFY2(shown.startsWith(QStringLiteral("Clé Groq : ")), qPrintable(shown));
        QVERIFY2(!shown.contains(QStringLiteral("gsk_typed_secret")), qPrintable(shown));
        QVERIFY(shown.contains(QStringLiteral("Clé Groq enregistrée.")));

        const OvraRun piped = runOvra(m_home.path(), {"keys", "set", "groq"}, "gsk_piped\n", env());
        QCOMPARE(piped.code, 0);
        QCOMPARE(piped.out, QStringLiteral("Clé Groq enregistrée.\n"));
        QCOMPARE(piped.err, QString());
    }

    void progressLineIsErasedBeforeTheMessage()
    {
        const QString message = QStringLiteral("Add your Groq API key in the Models tab. (ovra keys set groq)");
        const QString wav = silentWav();
        const auto [code, shown] = onTerminal({"transcribe", wav, "--provider", "groq"});
        QCOMPARE(code, 1);
        const qsizetype progress = shown.indexOf(QStringLiteral("\rtranscription… 0 s\x1b[K"));
        const qsizetype erased = shown.lastIndexOf(QStringLiteral("\r\x1b[K"));
        QVERIFY2(progress >= 0 && erased > progress, qPrintable(shown));
        QCOMPARE(shown.mid(erased + 4), message + QStringLiteral("\r\n"));

        const OvraRun piped = runOvra(m_home.path(), {"transcribe", wav, "--provider", "groq"}, {}, env());
        QCOMPARE(piped.code, 1);
        QCOMPARE(piped.err, message + QLatin1Char('\n'));
    }
};

QTEST_GUILESS_MAIN(TestCliTerminal)
#include "tst_cli_terminal.moc"
