// SIGTERM to the desktop application while it records, as at logout: the dictation goes
// through the pipeline and is stored before the application quits.
#include "X11Helpers.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <csignal>

class DesktopLogoutTest : public QObject
{
    Q_OBJECT
    QTemporaryDir m_home;

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), m_home.filePath(QStringLiteral("data")));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.filePath(QStringLiteral("config")));
        return env;
    }
    QString ovra(const QStringList& args)
    {
        QProcess p;
        p.setProcessEnvironment(environment());
        p.start(QStringLiteral(OVRA_BINARY), args);
        p.waitForFinished(30000);
        return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    }

private Q_SLOTS:
    void sigtermWhileRecordingKeepsTheDictation()
    {
        QVERIFY(!ovra({"modes", "add", "Anglais", "--provider", "apple", "--language", "en-US"}).isEmpty());
        ovra({"modes", "activate", "Anglais"});
        const QString speech = m_home.filePath(QStringLiteral("speech.wav"));
        const QString hello = m_home.filePath(QStringLiteral("hello.wav"));
        X11Test::run(QStringLiteral("espeak-ng"), {"-v", "en-us+m1", "-s", "140", "-w", speech, "hello world this is a test"});
        X11Test::run(QStringLiteral("sox"), {"-D", speech, "-r", "16000", "-c", "1", "-b", "16", hello, "pad", "0.5", "0.5"});
        QVERIFY(QFile::exists(hello));

        QProcess app;
        app.setProcessEnvironment(environment());
        app.start(QStringLiteral(OVRA_BINARY), {});
        QVERIFY(app.waitForStarted());
        QString err, out;
        QTRY_VERIFY_WITH_TIMEOUT((err += QString::fromUtf8(app.readAllStandardError())).contains("Ovra est prêt."), 15000);
        X11Test::run(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("alt+super+d")});
        QTRY_VERIFY_WITH_TIMEOUT((out += QString::fromUtf8(app.readAllStandardOutput())).contains("état : recording\n"),
                                 10000);
        X11Test::run(QStringLiteral("paplay"), {QStringLiteral("-d"), QStringLiteral("spk"), hello});

        ::kill(pid_t(app.processId()), SIGTERM);
        QVERIFY(app.waitForFinished(60000));
        out += QString::fromUtf8(app.readAllStandardOutput());
        QCOMPARE(app.exitStatus(), QProcess::NormalExit);
        QCOMPARE(app.exitCode(), 0);
        QVERIFY2(out.contains("état : transcribing\n"), qPrintable(out));
        const QJsonArray dictations = QJsonDocument::fromJson(ovra({"history", "--json"}).toUtf8()).array();
        QVERIFY(!dictations.isEmpty());
        const QString text = dictations.first().toObject().value(QStringLiteral("text")).toString();
        QVERIFY2(text.contains("hello world"), qPrintable(text));
    }
};

QTEST_GUILESS_MAIN(DesktopLogoutTest)
#include "tst_desktoplogout.moc"
