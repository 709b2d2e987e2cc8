// The running application controlled from outside, as a compositor binding or a user's phone
// would: `ovra toggle`, `ovra ptt`, `ovra cancel` over the session bus driving the real
// controller; `ovra helper pair` + `send` reaching the focused terminal through the receiver;
// a second `ovra` bringing the window forward instead of starting twice.
#include "X11Helpers.h"
#include "fakes/OvraProcess.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

class DesktopControlTest : public QObject
{
    Q_OBJECT
    QTemporaryDir m_home;
    QProcess m_app;
    QString m_out;

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("OVRA_SECRET_STORE")); // the rig's Secret Service, shared with the application
        // No system bus: the receiver must not announce itself on this machine's network.
        env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), QStringLiteral("unix:path=") + m_home.filePath("no-bus"));
        return env;
    }
    OvraRun ovra(const QStringList& args) { return runOvra(m_home.path(), args, {}, environment()); }
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
    // The receiver's port once it listens, from `ovra helper status`; 0 until then.
    int helperPort()
    {
        const auto match = QRegularExpression(QStringLiteral("port TCP (\\d+)")).match(ovra({"helper", "status"}).out);
        return match.hasMatch() ? match.captured(1).toInt() : 0;
    }

private Q_SLOTS:
    void initTestCase()
    {
        // Nothing answers on the bus yet: the commands say the application must be started.
        for (const QStringList& args : {QStringList{"toggle"}, QStringList{"helper", "status"}}) {
            const OvraRun idle = ovra(args);
            QCOMPARE(idle.code, 1);
            QCOMPARE(idle.err, QStringLiteral("Ovra n'est pas lancé : démarrez l'application (commande « ovra ») puis "
                                              "réessayez.\n"));
        }
        // Dictations go to the system recogniser (PocketSphinx), which needs no key.
        QCOMPARE(ovra({"modes", "add", "Anglais", "--provider", "apple", "--language", "en-US"}).code, 0);
        QCOMPARE(ovra({"modes", "activate", "Anglais"}).code, 0);
        QCOMPARE(ovra({"settings", "set", "ovra.mac.helper.enabled", "true"}).code, 0);
        QCOMPARE(ovra({"settings", "set", "ovra.mac.helper.autoPaste", "true"}).code, 0);

        QProcessEnvironment env = environment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), m_home.filePath("data"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.filePath("config"));
        m_app.setProcessEnvironment(env);
        m_app.start(QStringLiteral(OVRA_BINARY), {});
        QVERIFY(m_app.waitForStarted());
        QString err;
        QTRY_VERIFY_WITH_TIMEOUT((err += QString::fromUtf8(m_app.readAllStandardError())).contains("Ovra est prêt."),
                                 15000);
    }

    void phonePairsAndItsTextReachesTheFocusedTerminal()
    {
        int port = 0;
        QTRY_VERIFY_WITH_TIMEOUT((port = helperPort()) > 0, 15000);
        const OvraRun pairing = ovra({"helper", "start-pairing"});
        QCOMPARE(pairing.code, 0);
        const auto code = QRegularExpression(QStringLiteral("^Code d'association : (\\d{6}) \\(encore 1[12]\\d s\\)\n$"))
                              .match(pairing.out);
        QVERIFY2(code.hasMatch(), qPrintable(pairing.out));
        QVERIFY(ovra({"helper", "status"}).out.contains("Association en cours : code " + code.captured(1)));

        const QString target = QStringLiteral("127.0.0.1:%1").arg(port);
        const OvraRun paired = ovra({"helper", "pair", target, code.captured(1)});
        QVERIFY2(paired.code == 0, qPrintable(paired.err));

        const QString file = m_home.filePath("phone.txt");
        QProcess xterm;
        const QString window = X11Test::startXterm(xterm, "stty raw -echo; exec cat > " + file);
        QVERIFY(!window.isEmpty());
        X11Test::focus(window);
        const OvraRun sent = ovra({"helper", "send", target, "Bonjour depuis le portable"});
        QVERIFY2(sent.code == 0, qPrintable(sent.err));
        QTRY_COMPARE_WITH_TIMEOUT(contents(file), QStringLiteral("Bonjour depuis le portable"), 10000);

        const QString status = ovra({"helper", "status"}).out;
        QVERIFY2(!status.contains("Téléphones associés : aucun") && status.contains("(collée)"), qPrintable(status));
        QVERIFY2(!status.contains("Association en cours"), qPrintable(status));
        xterm.kill();
        xterm.waitForFinished();
    }

    void helperSwitchesOffAndOn()
    {
        QCOMPARE(ovra({"helper", "disable"}).code, 0);
        QVERIFY(ovra({"helper", "status"}).out.startsWith("Réception : désactivée\nÀ l'écoute : non\n"));
        QCOMPARE(ovra({"helper", "enable"}).code, 0);
        QTRY_VERIFY_WITH_TIMEOUT(helperPort() > 0, 15000);
    }

    void dictationCommandsDriveTheController_data()
    {
        QTest::addColumn<QStringList>("start");
        QTest::addColumn<QStringList>("end");
        QTest::addColumn<QString>("after");
        QTest::newRow("toggle") << QStringList{"toggle"} << QStringList{"toggle"} << "état : transcribing\n";
        QTest::newRow("push to talk") << QStringList{"ptt", "press"} << QStringList{"ptt", "release"}
                                      << "état : transcribing\n";
        QTest::newRow("cancel") << QStringList{"toggle"} << QStringList{"cancel"} << "état : idle\n";
    }
    void dictationCommandsDriveTheController()
    {
        QFETCH(QStringList, start);
        QFETCH(QStringList, end);
        QFETCH(QString, after);
        output();
        m_out.clear();
        QCOMPARE(ovra(start).code, 0);
        QTRY_VERIFY_WITH_TIMEOUT(output().endsWith("état : recording\n"), 10000);
        QTest::qWait(800); // past the minimum length
        QCOMPARE(ovra(end).code, 0);
        QTRY_VERIFY_WITH_TIMEOUT(output().contains("état : recording\n" + after), 15000);
        // Silence: nothing is pasted, and the controller is ready for the next row.
        QTRY_VERIFY_WITH_TIMEOUT(output().endsWith("état : idle\n"), 15000);
    }

    void secondStartBringsTheWindowForward()
    {
        QProcess second;
        QProcessEnvironment env = environment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), m_home.filePath("data"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.filePath("config"));
        second.setProcessEnvironment(env);
        second.start(QStringLiteral(OVRA_BINARY), {"--show-section", "ovraHelper"});
        QVERIFY(second.waitForFinished(20000));
        QCOMPARE(QString::fromUtf8(second.readAllStandardError()),
                 QStringLiteral("Ovra est déjà lancé : sa fenêtre est affichée.\n"));
        QCOMPARE(second.exitCode(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(ovra({"log"}).out.contains(
                                     "APP fenêtre affichée à la demande d'un autre processus (section ovraHelper)"),
                                 5000);
        QCOMPARE(m_app.state(), QProcess::Running);
    }

    void cleanupTestCase() { X11Test::stop(m_app); }
};

QTEST_GUILESS_MAIN(DesktopControlTest)
#include "tst_desktopcontrol.moc"
