// The desktop application in a wlroots session, as a sway user runs it: no global shortcut can
// be grabbed, so `ovra toggle` / `ovra ptt` (bound in the compositor) drive the dictation; the
// recogniser is a local stand-in of the cloud service; the text reaches a native Wayland window
// through the virtual keyboard and data-control while the clipboard's owner is another program.
#include "fakes/LocalHttpServer.h"
#include "fakes/OvraProcess.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

using Reply = LocalHttpServer::Reply;

class WaylandAppTest : public QObject
{
    Q_OBJECT
    QTemporaryDir m_home;
    LocalHttpServer m_server;
    QProcess m_app;
    QProcess m_clipboardOwner;
    QString m_out;

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("OVRA_OPENAI_BASE_URL"), m_server.url());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
        env.remove(QStringLiteral("OVRA_SECRET_STORE")); // the rig's Secret Service, shared with the application
        // No system bus: the phone receiver must not announce itself on this machine's network.
        env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), QStringLiteral("unix:path=") + m_home.filePath("no-bus"));
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
    static QString contents(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }
    static QString swaymsg(const QStringList& args)
    {
        QProcess p;
        p.start(QStringLiteral("swaymsg"), args);
        p.waitForFinished(5000);
        return QString::fromUtf8(p.readAllStandardOutput());
    }
    // The app_id of the window sway gives the keyboard to, from its tree.
    static QString focusedAppId()
    {
        const std::function<QString(const QJsonObject&)> find = [&find](const QJsonObject& node) -> QString {
            if (node.value("focused").toBool())
                return node.value("app_id").toString();
            for (const char* children : {"nodes", "floating_nodes"})
                for (const QJsonValue& child : node.value(children).toArray())
                    if (QString id = find(child.toObject()); !id.isEmpty())
                        return id;
            return {};
        };
        return find(QJsonDocument::fromJson(swaymsg({"-t", "get_tree"}).toUtf8()).object());
    }
    static void stop(QProcess& program)
    {
        program.terminate();
        if (!program.waitForFinished(5000)) {
            program.kill();
            program.waitForFinished();
        }
    }

private Q_SLOTS:
    void initTestCase()
    {
        QCOMPARE(ovra({"keys", "set", "openai"}, "sk-openai-e2e\n").code, 0);
        QCOMPARE(ovra({"modes", "add", "Nuage", "--provider", "openai", "--model", "whisper-1", "--language", "fr",
                       "--trim", "off", "--ai", "off"})
                     .code,
                 0);
        QCOMPARE(ovra({"modes", "activate", "Nuage"}).code, 0);

        QProcessEnvironment env = environment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), m_home.filePath("data"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.filePath("config"));
        m_app.setProcessEnvironment(env);
        m_app.start(QStringLiteral(OVRA_BINARY), {});
        QVERIFY(m_app.waitForStarted());
        QString err;
        QTRY_VERIFY_WITH_TIMEOUT((err += QString::fromUtf8(m_app.readAllStandardError())).contains("Ovra est prêt."),
                                 15000);
        // The session line names what serves each concern.
        const QString log = ovra({"log"}).out;
        QVERIFY2(log.contains("clavier virtuel (zwp_virtual_keyboard_v1)") && log.contains("data-control") &&
                     log.contains("foreign-toplevel"),
                 qPrintable(log));
    }

    void commandsDriveADictationPastedIntoTheFocusedWindow_data()
    {
        QTest::addColumn<QStringList>("start");
        QTest::addColumn<QStringList>("end");
        QTest::addColumn<QString>("spoken");
        QTest::newRow("toggle") << QStringList{"toggle"} << QStringList{"toggle"}
                                << QStringLiteral("Ça marche à merveille");
        QTest::newRow("push to talk") << QStringList{"ptt", "press"} << QStringList{"ptt", "release"}
                                      << QStringLiteral("«Déjà» fini, 12 €");
    }

    void commandsDriveADictationPastedIntoTheFocusedWindow()
    {
        QFETCH(QStringList, start);
        QFETCH(QStringList, end);
        QFETCH(QString, spoken);
        m_clipboardOwner.start(QStringLiteral("wl-copy"), {QStringLiteral("--foreground"), QStringLiteral("gardé")});
        QVERIFY(m_clipboardOwner.waitForStarted());

        const QString file = m_home.filePath(QStringLiteral("edit-%1.txt").arg(QTest::currentDataTag()));
        QProcess window;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
        window.setProcessEnvironment(env);
        window.start(QStringLiteral(WAYLAND_EDIT_WINDOW), {file, QStringLiteral("ovra-test-edit")});
        QVERIFY(window.waitForStarted());
        // sway focuses a new window; its tree says when that is done.
        QTRY_COMPARE_WITH_TIMEOUT(focusedAppId(), QStringLiteral("ovra-test-edit"), 10000);

        m_server.enqueue(Reply::json(200, QJsonDocument(QJsonObject{{"text", spoken}}).toJson(QJsonDocument::Compact)));
        output();
        m_out.clear();
        QCOMPARE(ovra(start).code, 0);
        QTRY_VERIFY_WITH_TIMEOUT(output().endsWith("état : recording\n"), 10000);
        QTest::qWait(800); // past the minimum length
        QCOMPARE(ovra(end).code, 0);
        QTRY_COMPARE_WITH_TIMEOUT(contents(file), spoken, 30000);
        QTRY_VERIFY_WITH_TIMEOUT(output().endsWith("état : idle\n"), 15000);
        // The clipboard is the other program's again.
        QTRY_COMPARE_WITH_TIMEOUT(wlPaste(), QStringLiteral("gardé"), 5000);
        stop(window);
        stop(m_clipboardOwner);
    }

    void cleanupTestCase()
    {
        stop(m_app);
        qInfo().noquote() << "ovra stdout:" << output() << "\novra stderr:" << m_app.readAllStandardError()
                          << "\njournal:" << ovra({"log"}).out;
    }

private:
    static QString wlPaste()
    {
        QProcess paste;
        paste.start(QStringLiteral("wl-paste"), {QStringLiteral("--no-newline")});
        paste.waitForFinished(5000);
        return QString::fromUtf8(paste.readAllStandardOutput());
    }
};

QTEST_GUILESS_MAIN(WaylandAppTest)
#include "tst_waylandapp.moc"
