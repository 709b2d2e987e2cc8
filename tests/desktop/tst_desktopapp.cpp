// The desktop application as a user starts it: `ovra` without arguments under an X server and a
// sound server; global shortcuts drive the real controller and recorder.
#include "X11Helpers.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
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

    QJsonArray history() { return QJsonDocument::fromJson(ovra({"history", "--json"}).toUtf8()).array(); }
    static QString contents(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }

private Q_SLOTS:
    QString ovra(const QStringList& args)
    {
        QProcess p;
        p.setProcessEnvironment(environment());
        p.start(QStringLiteral(OVRA_BINARY), args);
        p.waitForFinished(30000);
        return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    }

    void initTestCase()
    {
        // Dictations go to the system recogniser (PocketSphinx), which needs no key.
        QVERIFY(!ovra({"modes", "add", "Anglais", "--provider", "apple", "--language", "en-US"}).isEmpty());
        ovra({"modes", "activate", "Anglais"});
        m_app.setProcessEnvironment(environment());
        m_app.start(QStringLiteral(OVRA_BINARY), {});
        QVERIFY(m_app.waitForStarted());
        QString err;
        QTRY_VERIFY_WITH_TIMEOUT((err += QString::fromUtf8(m_app.readAllStandardError())).contains("Ovra est prêt."), 15000);
    }

    void secondInstanceSaysSoAndExits()
    {
        // The running one shows its window instead (over the session bus).
        QProcess second;
        second.setProcessEnvironment(environment());
        second.start(QStringLiteral(OVRA_BINARY), {});
        QVERIFY(second.waitForFinished(15000));
        QCOMPARE(QString::fromUtf8(second.readAllStandardError()),
                 QStringLiteral("Ovra est déjà lancé : sa fenêtre est affichée.\n"));
        QCOMPARE(second.exitCode(), 0);
    }

    void silenceStoresAndPastesNothing()
    {
        const QString file = m_home.filePath(QStringLiteral("silence.txt"));
        QProcess xterm;
        const QString window = X11Test::startXterm(xterm, QStringLiteral("stty raw -echo; exec cat > ") + file);
        QVERIFY(!window.isEmpty());
        X11Test::focus(window);
        const qsizetype before = history().size();

        QString out;
        const auto read = [&] { return out += QString::fromUtf8(m_app.readAllStandardOutput()); };
        X11Test::run(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("alt+super+d")});
        QTRY_VERIFY_WITH_TIMEOUT(read().contains("état : recording\n"), 10000);
        QTest::qWait(800);
        X11Test::run(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("alt+super+d")});
        QTRY_VERIFY_WITH_TIMEOUT(read().contains("état : recording\nétat : transcribing\n"), 15000);
        QTRY_VERIFY_WITH_TIMEOUT(read().endsWith("état : idle\n"), 15000);
        // Nothing stored, nothing typed into the terminal, no recording kept for a retry.
        QCOMPARE(history().size(), before);
        QCOMPARE(contents(file), QString());
        QCOMPARE(ovra({"retry", "--list"}), QString());
        xterm.kill();
        xterm.waitForFinished();
    }

    void spokenWordsLandInTheFocusedTerminal()
    {
        const QString wav = m_home.filePath(QStringLiteral("speech.wav"));
        const QString hello = m_home.filePath(QStringLiteral("hello.wav"));
        X11Test::run(QStringLiteral("espeak-ng"), {"-v", "en-us+m1", "-s", "140", "-w", wav, "hello world this is a test"});
        X11Test::run(QStringLiteral("sox"), {"-D", wav, "-r", "16000", "-c", "1", "-b", "16", hello, "pad", "0.5", "0.5"});
        QVERIFY(QFile::exists(hello));

        const QString file = m_home.filePath(QStringLiteral("pasted.txt"));
        QProcess xterm;
        const QString window = X11Test::startXterm(xterm, QStringLiteral("stty raw -echo; exec cat > ") + file);
        QVERIFY(!window.isEmpty());
        X11Test::focus(window);

        QString out;
        const auto read = [&] { return out += QString::fromUtf8(m_app.readAllStandardOutput()); };
        QTest::qWait(600);
        X11Test::run(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("alt+super+d")});
        QTRY_VERIFY_WITH_TIMEOUT(read().contains("état : recording\n"), 10000);
        // Leave the start sound and the capture's first buffers behind, and the tail time to arrive.
        QTest::qWait(500);
        X11Test::run(QStringLiteral("paplay"), {QStringLiteral("-d"), QStringLiteral("spk"), hello});
        QTest::qWait(1000);
        X11Test::run(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("alt+super+d")});
        QTRY_VERIFY_WITH_TIMEOUT(read().contains("état : finished\n"), 30000);
        const auto pasted = [&] { return contents(file); };
        QTRY_VERIFY_WITH_TIMEOUT(!pasted().isEmpty(), 10000);
        // The recogniser makes "hello world it is up to you" of the file itself: its first words
        // must come through the shortcut, the capture and the paste as well.
        QVERIFY2(pasted().startsWith(QStringLiteral("hello world ")), qPrintable(QStringLiteral("heard: ") + pasted()));
        const QJsonArray dictations = history();
        QVERIFY(!dictations.isEmpty());
        QCOMPARE(dictations.first().toObject().value(QStringLiteral("text")).toString(), pasted());
        xterm.kill();
        xterm.waitForFinished();
    }

    void cleanupTestCase() { X11Test::stop(m_app); }
};

QTEST_GUILESS_MAIN(DesktopAppTest)
#include "tst_desktopapp.moc"
