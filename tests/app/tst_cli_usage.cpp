// Every subcommand's help, a usage error and a failure, through the real binary: where each
// text goes (stdout or stderr) and the exit code; and the README showing the same usage texts.
#include "fakes/OvraProcess.h"
#include "fakes/WavHeader.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {
const QString kReadmeBegin = QStringLiteral("<!-- ovra help --all -->\n```text\n");
const QString kReadmeEnd = QStringLiteral("```\n<!-- end of ovra help --all -->");
} // namespace

class TestCliUsage : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;

    OvraRun ovra(const QStringList& args) { return runOvra(m_home.path(), args); }

private Q_SLOTS:
    void everyCommand_data()
    {
        QTest::addColumn<QStringList>("usageError");
        QTest::addColumn<QStringList>("failure"); // empty: the command has no failure without hardware

        const QString nowhere = m_home.filePath(QStringLiteral("nowhere/x.wav"));
        QTest::newRow("transcribe") << QStringList{"transcribe"} << QStringList{"transcribe", nowhere};
        QTest::newRow("dictate") << QStringList{"dictate", "extra"} << QStringList{"dictate", "--mode", "nobody"};
        QTest::newRow("record") << QStringList{"record", "--seconds", "0", "x.wav"} << QStringList{"record", nowhere};
        QTest::newRow("recognize") << QStringList{"recognize"} << QStringList{"recognize", nowhere};
        QTest::newRow("devices") << QStringList{"devices", "extra"} << QStringList{};
        QTest::newRow("modes") << QStringList{"modes", "frobnicate"} << QStringList{"modes", "remove", "nobody"};
        QTest::newRow("dictionary") << QStringList{"dictionary", "add"} << QStringList{"dictionary", "remove", "nothing"};
        QTest::newRow("prompts") << QStringList{"prompts", "add", "only-a-name"} << QStringList{"prompts", "remove", "x"};
        QTest::newRow("notes") << QStringList{"notes", "edit", "x"} << QStringList{"notes", "show", "nobody"};
        QTest::newRow("history") << QStringList{"history", "--limit", "0"} << QStringList{};
        QTest::newRow("keys") << QStringList{"keys", "set", "mistral"} << QStringList{"keys", "verify"};
        QTest::newRow("settings") << QStringList{"settings", "get"} << QStringList{"settings", "get", "nope.key"};
        QTest::newRow("shortcuts") << QStringList{"shortcuts", "set", "x"}
                                   << QStringList{"shortcuts", "set", "nobody", "ctrl+a"};
        QTest::newRow("log") << QStringList{"log", "--bogus"} << QStringList{};
        QTest::newRow("helper") << QStringList{"helper", "send", "nohost", "x"}
                                << QStringList{"helper", "send", "127.0.0.1:1", "x"};
        QTest::newRow("retry") << QStringList{"retry", "a", "b"} << QStringList{"retry"};
        QTest::newRow("export") << QStringList{"export", "a", "b"}
                                << QStringList{"export", m_home.filePath(QStringLiteral("nowhere/x.json"))};
        QTest::newRow("import") << QStringList{"import"}
                                << QStringList{"import", m_home.filePath(QStringLiteral("nowhere/x.json"))};
        QTest::newRow("stats") << QStringList{"stats", "extra"} << QStringList{};
        QTest::newRow("queue") << QStringList{"queue", "--bogus"} << QStringList{};
        QTest::newRow("sync") << QStringList{"sync", "extra"} << QStringList{"sync"}; // no folder chosen
        QTest::newRow("leaderboard") << QStringList{"leaderboard", "frob"} << QStringList{"leaderboard"};
        QTest::newRow("models") << QStringList{"models", "frobnicate"} << QStringList{"models", "delete", "nosuch"};
        // The desktop application is not running here: these fail with that message.
        QTest::newRow("toggle") << QStringList{"toggle", "now"} << QStringList{"toggle"};
        QTest::newRow("ptt") << QStringList{"ptt", "hold"} << QStringList{"ptt", "release"};
        QTest::newRow("cancel") << QStringList{"cancel", "all"} << QStringList{"cancel"};
        QTest::newRow("transform") << QStringList{"transform", "x"} << QStringList{"transform"};
    }
    void everyCommand()
    {
        QFETCH(QStringList, usageError);
        QFETCH(QStringList, failure);
        const QString name = QString::fromLatin1(QTest::currentDataTag());

        for (const QStringList& args : {QStringList{name, "--help"}, QStringList{"help", name}, usageError + QStringList{"-h"}}) {
            const OvraRun help = ovra(args);
            QCOMPARE(help.code, 0);
            QVERIFY2(help.out.startsWith(QStringLiteral("Usage : ovra ") + name), qPrintable(help.out));
            QCOMPARE(help.err, QString());
        }

        const OvraRun bad = ovra(usageError);
        QCOMPARE(bad.code, 2);
        QCOMPARE(bad.out, QString());
        QVERIFY2(bad.err.contains(QStringLiteral("Usage : ovra ") + name), qPrintable(bad.err));
        QVERIFY(bad.err.contains(QStringLiteral("ovra %1 --help").arg(name)));

        if (!failure.isEmpty()) {
            const OvraRun failed = ovra(failure);
            QCOMPARE(failed.code, 1);
            QCOMPARE(failed.out, QString());
            QVERIFY(!failed.err.isEmpty());
            QVERIFY2(!failed.err.contains(QStringLiteral("Usage :")), qPrintable(failed.err));
        }
    }

    // A command added without a row above would go untested.
    void tableCoversEveryCommand()
    {
        QStringList listed = ovra({"__complete"}).out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        listed.removeIf([](const QString& w) { return w.startsWith(QLatin1Char('-')) || w == QLatin1String("help"); });
        const QStringList tested{"transcribe", "dictate", "record", "recognize", "devices", "modes", "dictionary",
                                 "prompts", "notes", "history", "keys", "settings", "shortcuts", "log", "helper", "retry",
                                 "export", "import", "stats", "queue", "sync", "models", "leaderboard", "toggle", "ptt",
                                 "cancel", "transform"};
        QVERIFY(!listed.isEmpty());
        for (const QString& c : listed)
            QVERIFY2(tested.contains(c), qPrintable(QStringLiteral("no row for ") + c));
    }

    void verbsAndOverview_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        QTest::newRow("help") << QStringList{"help"} << 0 << "Usage : ovra [COMMANDE" << "";
        QTest::newRow("--help") << QStringList{"--help"} << 0 << "Usage : ovra [COMMANDE" << "";
        QTest::newRow("verb help") << QStringList{"modes", "add", "--help"} << 0 << "Usage : ovra modes add NOM" << "";
        QTest::newRow("help verb") << QStringList{"help", "keys", "verify"} << 0 << "Usage : ovra keys verify" << "";
        QTest::newRow("after --") << QStringList{"prompts", "add", "x", "--", "--help"} << 0 << "" << "";
        QTest::newRow("unknown") << QStringList{"transcibe"} << 2 << "" << "« ovra transcribe »";
        QTest::newRow("help unknown") << QStringList{"help", "nosuch"} << 2 << "" << "Commande inconnue";
        QTest::newRow("bad option") << QStringList{"history", "--bogus"} << 2 << "" << "Option inconnue : --bogus";
        QTest::newRow("provider") << QStringList{"transcribe", "f.wav", "--provider", "x"} << 2 << ""
                                  << "groq, openai, gemini, apple, parakeet, whisperKit";
        QTest::newRow("mode provider") << QStringList{"modes", "add", "M", "--provider", "x"} << 2 << ""
                                       << "groq, openai, gemini, apple, parakeet, whisperKit";
        QTest::newRow("key provider") << QStringList{"keys", "verify", "x"} << 2 << ""
                                      << "groq, openai, anthropic, gemini";
    }
    void verbsAndOverview()
    {
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QString, out);
        QFETCH(QString, err);
        const OvraRun r = ovra(args);
        QCOMPARE(r.code, code);
        QVERIFY2(out.isEmpty() ? code != 0 || r.out.trimmed().size() > 0 : r.out.startsWith(out), qPrintable(r.out));
        if (code != 0)
            QCOMPARE(r.out, QString());
        QVERIFY2(err.isEmpty() ? r.err.isEmpty() : r.err.contains(err), qPrintable(r.err));
    }

    // The window's hint about a missing key names the command that adds it.
    void hintsNameTheCommand_data()
    {
        QTest::addColumn<QString>("provider");
        QTest::addColumn<QString>("message");
        QTest::newRow("groq") << "groq" << "Add your Groq API key in the Models tab. (ovra keys set groq)\n";
        QTest::newRow("gemini") << "gemini"
                                << "Add your Google Gemini API key in the Models tab. (ovra keys set gemini)\n";
    }
    void hintsNameTheCommand()
    {
        QFETCH(QString, provider);
        QFETCH(QString, message);
        QFile wav(m_home.filePath(QStringLiteral("quiet.wav")));
        QVERIFY(wav.open(QIODevice::WriteOnly));
        wav.write(wavHeader(32000, 16000, 1) + QByteArray(32000, '\0'));
        wav.close();
        const OvraRun r = ovra({"transcribe", wav.fileName(), "--provider", provider});
        QCOMPARE(r.code, 1);
        QCOMPARE(r.err, message);
    }

    void withoutDisplayTheDesktopAppSaysToDictate()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* var : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QString::fromLatin1(var));
        const OvraRun r = runOvra(m_home.path(), {}, {}, env);
        QCOMPARE(r.code, 1);
        QCOMPARE(r.out, QString());
        QVERIFY2(r.err.contains(QStringLiteral("ovra dictate")), qPrintable(r.err));
    }

    // The bash completion asks the program itself: commands, verbs, options and their values.
    void bashCompletion_data()
    {
        QTest::addColumn<QStringList>("typed"); // the last word is the one being completed
        QTest::addColumn<QStringList>("offered");
        QTest::newRow("commands") << QStringList{""} << QStringList{"transcribe", "dictate", "modes", "help"};
        QTest::newRow("prefix") << QStringList{"dic"} << QStringList{"dictate", "dictionary"};
        QTest::newRow("verbs") << QStringList{"modes", ""} << QStringList{"list", "add", "set", "remove", "activate"};
        QTest::newRow("queue verbs") << QStringList{"queue", ""} << QStringList{"list", "drain"};
        QTest::newRow("drain option") << QStringList{"queue", "drain", "--"} << QStringList{"--json", "--help"};
        QTest::newRow("option") << QStringList{"transcribe", "f.wav", "--p"} << QStringList{"--provider"};
        QTest::newRow("providers") << QStringList{"modes", "add", "M", "--provider", ""}
                                   << QStringList{"groq", "openai", "gemini", "apple", "parakeet", "whisperKit"};
        QTest::newRow("key providers") << QStringList{"keys", "set", ""}
                                       << QStringList{"groq", "openai", "anthropic", "gemini"};
    }
    void bashCompletion()
    {
        QFETCH(QStringList, typed);
        QFETCH(QStringList, offered);
        QStringList words{QStringLiteral(OVRA_BINARY)};
        for (const QString& w : typed)
            words << QLatin1Char('\'') + w + QLatin1Char('\'');
        const QString script = QStringLiteral("source '%1'; COMP_WORDS=(%2); COMP_CWORD=%3; _ovra; "
                                              "printf '%s\\n' \"${COMPREPLY[@]}\"")
                                   .arg(QStringLiteral(OVRA_SOURCE_DIR "/data/completions/ovra.bash"),
                                        words.join(QLatin1Char(' ')), QString::number(typed.size()));
        QProcess bash;
        bash.start(QStringLiteral("bash"), {QStringLiteral("-c"), script});
        QVERIFY(bash.waitForFinished(30000));
        QCOMPARE(bash.exitCode(), 0);
        const QStringList got = QString::fromUtf8(bash.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        if (typed.last().isEmpty() && typed.size() > 1)
            QCOMPARE(got, offered);
        else
            for (const QString& o : offered)
                QVERIFY2(got.contains(o), qPrintable(got.join(QLatin1Char(' '))));
    }

    void readmeShowsTheUsageTexts()
    {
        QFile readme(QStringLiteral(OVRA_SOURCE_DIR "/README.md"));
        QVERIFY(readme.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(readme.readAll());
        const qsizetype begin = text.indexOf(kReadmeBegin);
        const qsizetype end = text.indexOf(kReadmeEnd);
        QVERIFY(begin >= 0 && end > begin);
        const QString shown = text.mid(begin + kReadmeBegin.size(), end - begin - kReadmeBegin.size());
        QVERIFY2(shown == ovra({"help", "--all"}).out, "README.md differs from `ovra help --all`: run scripts/update-readme-cli.sh");
    }
};

QTEST_GUILESS_MAIN(TestCliUsage)
#include "tst_cli_usage.moc"
