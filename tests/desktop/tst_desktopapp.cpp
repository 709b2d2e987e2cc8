// The desktop application as a user starts it: `ovra` without arguments under an X server and a
// sound server; global shortcuts drive the real controller and recorder.
#include "X11Helpers.h"

#include <QTemporaryDir>

class DesktopAppTest : public QObject
{
    Q_OBJECT
    QTemporaryDir m_home;
    QProcess m_app;

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), m_home.filePath(QStringLiteral("data")));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.filePath(QStringLiteral("config")));
        return env;
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_app.setProcessEnvironment(environment());
        m_app.start(QStringLiteral(OVRA_BINARY), {});
        QVERIFY(m_app.waitForStarted());
        QString err;
        QTRY_VERIFY_WITH_TIMEOUT((err += QString::fromUtf8(m_app.readAllStandardError())).contains("Ovra est prêt."), 15000);
    }

    void secondInstanceSaysSoAndExits()
    {
        QProcess second;
        second.setProcessEnvironment(environment());
        second.start(QStringLiteral(OVRA_BINARY), {});
        QVERIFY(second.waitForFinished(15000));
        QCOMPARE(second.exitCode(), 1);
        QCOMPARE(QString::fromUtf8(second.readAllStandardError()), QStringLiteral("Ovra est déjà lancé.\n"));
    }

    void shortcutStartsAndStopsADictation()
    {
        QString out;
        const auto read = [&] { return out += QString::fromUtf8(m_app.readAllStandardOutput()); };
        X11Test::run(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("alt+super+d")});
        QTRY_VERIFY_WITH_TIMEOUT(read().contains("état : recording\n"), 10000);
        QTest::qWait(800);
        X11Test::run(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("alt+super+d")});
        // No provider key here: the recording is transcribed, fails, and the controller is idle again.
        QTRY_VERIFY_WITH_TIMEOUT(read().contains("état : recording\nétat : transcribing\nétat : idle\n"), 15000);
    }

    void cleanupTestCase()
    {
        m_app.terminate();
        if (!m_app.waitForFinished(5000)) {
            m_app.kill();
            m_app.waitForFinished();
        }
    }
};

QTEST_GUILESS_MAIN(DesktopAppTest)
#include "tst_desktopapp.moc"
