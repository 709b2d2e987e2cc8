// The desktop application with cloud services (local stand-ins): a per-application mode with a
// cloud recogniser, an AI rewrite and auto-send, pasted into the focused terminal; Escape
// cancelling a dictation; the transform shortcut rewriting a real selection.
#include "X11Helpers.h"
#include "fakes/LocalHttpServer.h"
#include "fakes/OvraProcess.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

using Reply = LocalHttpServer::Reply;

namespace {

// A chat answer of the Anthropic Messages API (kept out of raw strings, which moc misreads).
Reply claudeAnswer(const QString& text)
{
    QJsonObject content{{"type", "text"}, {"text", text}};
    QJsonObject body{{"content", QJsonArray{content}},
                     {"usage", QJsonObject{{"input_tokens", 100}, {"output_tokens", 10}}}};
    return Reply::json(200, QJsonDocument(body).toJson(QJsonDocument::Compact));
}

} // namespace

class DesktopCloudTest : public QObject
{
    Q_OBJECT
    QTemporaryDir m_home;
    LocalHttpServer m_server;
    QProcess m_app;
    QString m_out;
    QString m_err;

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_DATA_HOME", m_home.filePath("data"));
        env.insert("XDG_CONFIG_HOME", m_home.filePath("config"));
        env.insert("OVRA_OPENAI_BASE_URL", m_server.url());
        env.insert("OVRA_ANTHROPIC_BASE_URL", m_server.url());
        env.remove("OVRA_SECRET_STORE"); // the rig's Secret Service, shared with the application
        return env;
    }
    OvraRun ovra(const QStringList& args, const QByteArray& input = {})
    {
        return runOvra(m_home.path(), args, input, environment());
    }
    QString output()
    {
        m_out += QString::fromUtf8(m_app.readAllStandardOutput());
        return m_out;
    }
    QJsonArray history() { return QJsonDocument::fromJson(ovra({"history", "--json"}).out.toUtf8()).array(); }
    static QString contents(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }
    void key(const QString& combo) { X11Test::run(QStringLiteral("xdotool"), {QStringLiteral("key"), combo}); }

private Q_SLOTS:
    void initTestCase()
    {
        QCOMPARE(ovra({"keys", "set", "openai"}, "sk-openai-e2e\n").code, 0);
        QCOMPARE(ovra({"keys", "set", "anthropic"}, "sk-ant-e2e\n").code, 0);
        // The active mode stays on the system recogniser; the terminal gets its own mode.
        QCOMPARE(ovra({"modes", "add", "Local", "--provider", "apple", "--language", "en-US"}).code, 0);
        QCOMPARE(ovra({"modes", "activate", "Local"}).code, 0);
        const OvraRun cloud = ovra({"modes", "add", "Terminal", "--provider", "openai", "--model", "whisper-1",
                                    "--language", "fr", "--trim", "off", "--ai", "on", "--ai-provider", "claude", "--ai-model",
                                    "claude-haiku-4-5", "--prompt", "Mets en forme."});
        QCOMPARE(cloud.code, 0);
        const QString id = cloud.out.trimmed().toUpper();
        QVERIFY(!QUuid::fromString(id).isNull());
        QCOMPARE(ovra({"settings", "set", "ovra.mac.modeTriggers", "{\"xterm\": \"" + id + "\"}"}).code, 0);
        QCOMPARE(ovra({"settings", "set", "ovra.mac.autoSendEnter", "[\"" + id + "\"]"}).code, 0);
        QCOMPARE(ovra({"settings", "set", "mirelo.ai.selectionTransform.providerRaw", "claude"}).code, 0);
        QCOMPARE(ovra({"settings", "set", "mirelo.ai.selectionTransform.model", "claude-haiku-4-5"}).code, 0);

        m_app.setProcessEnvironment(environment());
        m_app.start(QStringLiteral(OVRA_BINARY), {});
        QVERIFY(m_app.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT((m_err += QString::fromUtf8(m_app.readAllStandardError())).contains("Ovra est prêt."),
                                 15000);
    }

    void terminalModeRewritesPastesAndSends()
    {
        const QString file = m_home.filePath("terminal.txt");
        QProcess xterm;
        const QString window = X11Test::startXterm(xterm, "stty raw -echo; exec cat > " + file);
        QVERIFY(!window.isEmpty());
        X11Test::focus(window);
        m_server.requests.clear();
        m_server.enqueue(Reply::json(200, R"({"text":"bonjour tout le monde"})"));
        m_server.enqueue(claudeAnswer("Bonjour tout le monde !\n<qm-meta>{\"fixes\": 1}</qm-meta>"));
        const int before = history().size();

        key("alt+super+d");
        QTRY_VERIFY_WITH_TIMEOUT(output().contains("état : recording\n"), 10000);
        QTest::qWait(800); // past the minimum length
        key("alt+super+d");
        // Pasted at the cursor, then Return (the raw terminal keeps it as a carriage return).
        QTRY_COMPARE_WITH_TIMEOUT(contents(file), QStringLiteral("Bonjour tout le monde !\r"), 30000);

        QCOMPARE(m_server.requests.size(), 2);
        QCOMPARE(m_server.requests[0].target, "/v1/audio/transcriptions");
        QCOMPARE(m_server.requests[0].header("Authorization"), "Bearer sk-openai-e2e");
        QVERIFY(m_server.requests[0].body.contains("whisper-1"));
        QCOMPARE(m_server.requests[1].target, "/v1/messages");
        QCOMPARE(m_server.requests[1].header("x-api-key"), "sk-ant-e2e");
        QVERIFY(m_server.requests[1].body.contains("Mets en forme."));
        QVERIFY(m_server.requests[1].body.contains("bonjour tout le monde"));

        const QJsonArray all = history();
        QCOMPARE(all.size(), before + 1);
        const QJsonObject stored = all.first().toObject();
        QCOMPARE(stored.value("text").toString(), "Bonjour tout le monde !");
        QCOMPARE(stored.value("rawWhisperText").toString(), "bonjour tout le monde");
        QCOMPARE(stored.value("modeName").toString(), "Terminal");
        QCOMPARE(stored.value("enhancedByAI").toBool(), true);
        xterm.kill();
        xterm.waitForFinished();
    }

    void escapeCancels()
    {
        m_server.requests.clear();
        const int before = history().size();
        key("alt+super+d");
        QTRY_VERIFY_WITH_TIMEOUT(output().endsWith("état : recording\n"), 10000);
        QTest::qWait(800);
        key("Escape");
        QTRY_VERIFY_WITH_TIMEOUT(output().endsWith("état : recording\nétat : idle\n"), 10000);
        // Nothing is sent, stored or kept.
        QCOMPARE(history().size(), before);
        QVERIFY(m_server.requests.isEmpty());
        QCOMPARE(ovra({"retry", "--list"}).out, QString());
    }

    void transformShortcutRewritesARealSelection()
    {
        const QString file = m_home.filePath("selection.txt");
        const QString written = m_home.filePath("bonjur-written");
        QProcess xterm;
        const QString window =
            X11Test::startXterm(xterm, "echo bonjur; : > " + written + "; stty raw -echo; exec cat > " + file);
        QVERIFY(!window.isEmpty());
        X11Test::focus(window);
        // A double click on the word selects it in the terminal (PRIMARY, owned by the terminal).
        QTRY_VERIFY(QFile::exists(written));
        X11Test::run("xdotool", {"mousemove", "--window", window, "20", "8", "click", "--repeat", "2", "--delay",
                                 "80", "1"});
        QTRY_COMPARE(X11Test::clipboardText("primary"), QStringLiteral("bonjur"));
        m_server.requests.clear();
        m_server.enqueue(claudeAnswer("Bonjour\n<qm-meta>{\"fixes\": 1}</qm-meta>"));
        const int before = history().size();

        key("alt+super+t");
        QTRY_COMPARE_WITH_TIMEOUT(contents(file), QStringLiteral("Bonjour"), 30000);
        QCOMPARE(m_server.requests.size(), 1);
        QCOMPARE(m_server.requests[0].target, "/v1/messages");
        QVERIFY(m_server.requests[0].body.contains("<TRANSCRIPT>\\nbonjur\\n</TRANSCRIPT>"));
        // A transform is not a dictation.
        QCOMPARE(history().size(), before);
        xterm.kill();
        xterm.waitForFinished();
    }

    void cleanupTestCase()
    {
        X11Test::stop(m_app);
        // What the program said, for the log of a run that failed.
        qInfo().noquote() << "ovra stdout:" << output() << "\novra stderr:" << m_err + QString::fromUtf8(m_app.readAllStandardError());
    }
};

QTEST_GUILESS_MAIN(DesktopCloudTest)
#include "tst_desktopcloud.moc"
