// Launch at login: the autostart entry written, read back, disabled by hand, removed; program
// paths that need quoting.
#include "platform/linux/autostart/XdgAutostartEntry.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class XdgAutostartTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void onAndOff()
    {
        QTemporaryDir dir;
        XdgAutostartEntry entry(dir.filePath("config/autostart"), "/usr/bin/ovra");
        QVERIFY(!entry.isEnabled());
        QVERIFY(entry.setEnabled(false)); // nothing to remove
        QVERIFY(entry.setEnabled(true));
        QVERIFY(entry.isEnabled());
        QFile f(entry.path());
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray text = f.readAll();
        QVERIFY(text.startsWith("[Desktop Entry]\n"));
        QVERIFY(text.contains("\nExec=/usr/bin/ovra --hidden\n"));
        f.close();

        // Turned off by hand in the desktop's own settings.
        QVERIFY(f.open(QIODevice::Append));
        f.write("Hidden=true\n");
        f.close();
        QVERIFY(!entry.isEnabled());
        QVERIFY(entry.setEnabled(true));
        QVERIFY(entry.isEnabled());
        QVERIFY(entry.setEnabled(false));
        QVERIFY(!QFile::exists(entry.path()));
    }

    void unwritableFolder()
    {
        QTemporaryDir dir;
        QFile blocker(dir.filePath("autostart"));
        QVERIFY(blocker.open(QIODevice::WriteOnly)); // a file where the folder should be
        blocker.close();
        XdgAutostartEntry entry(dir.filePath("autostart"), "/usr/bin/ovra");
        const auto r = entry.setEnabled(true);
        QVERIFY(!r);
        QVERIFY(r.error().startsWith("Impossible de créer le dossier"));
        QVERIFY(!entry.isEnabled());
    }

    void programQuoting_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QByteArray>("exec");
        QTest::newRow("plain") << "/opt/ovra/bin/ovra" << QByteArray("Exec=/opt/ovra/bin/ovra --hidden");
        QTest::newRow("space") << "/home/a b/ovra" << QByteArray("Exec=\"/home/a b/ovra\" --hidden");
        QTest::newRow("dollar") << "/home/$x/ovra" << QByteArray("Exec=\"/home/\\\\$x/ovra\" --hidden");
        QTest::newRow("percent") << "/home/100%/ovra" << QByteArray("Exec=/home/100%%/ovra --hidden");
    }
    void programQuoting()
    {
        QFETCH(QString, program);
        QFETCH(QByteArray, exec);
        QVERIFY2(XdgAutostartEntry::entry(program).contains(QByteArray("\n" + exec + "\n")), XdgAutostartEntry::entry(program));
    }
};

QTEST_GUILESS_MAIN(XdgAutostartTest)
#include "tst_xdgautostart.moc"
