// `ovra shortcuts` as a user runs it: the real binary, its own XDG folders.
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class ShortcutCommandsTest : public QObject
{
    Q_OBJECT
    QTemporaryDir m_home;

    struct Run
    {
        int code;
        QString out;
        QString err;
    };
    Run ovra(const QStringList& args)
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), m_home.filePath(QStringLiteral("data")));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.filePath(QStringLiteral("config")));
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(OVRA_BINARY), args);
        if (!p.waitForFinished(30000))
            return {-1, {}, QStringLiteral("timed out")};
        return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
    }

private Q_SLOTS:
    void listSetAndErrors()
    {
        Run r = ovra({"shortcuts", "list"});
        QCOMPARE(r.code, 0);
        QVERIFY(r.out.startsWith("toggleDictation\talt+super+d\ntransformSelection\talt+super+t\npushToTalk\tnone\n"));

        QCOMPARE(ovra({"shortcuts", "set", "pushToTalk", "Ctrl+Shift+F5"}).code, 0);
        QCOMPARE(ovra({"shortcuts", "set", "transformSelection", "none"}).code, 0);
        r = ovra({"shortcuts", "list"});
        QVERIFY(r.out.contains("pushToTalk\tctrl+shift+F5\n"));
        QVERIFY(r.out.contains("transformSelection\tnone\n"));

        r = ovra({"shortcuts", "set", "toggleDictation", "alt+super+dd"});
        QCOMPARE(r.code, 1);
        QCOMPARE(r.err, QStringLiteral("Touche inconnue : « dd ».\n"));
        r = ovra({"shortcuts", "set", "dicter", "alt+super+x"});
        QCOMPARE(r.code, 1);
        QVERIFY(r.err.startsWith(QStringLiteral("Raccourci inconnu : dicter")));
        r = ovra({"shortcuts", "set", "pushToTalk", "alt+super+d"});
        QCOMPARE(r.code, 1);
        QCOMPARE(r.err, QStringLiteral("La combinaison Alt+Super+D sert déjà au raccourci toggleDictation.\n"));
        QCOMPARE(ovra({"shortcuts", "set", "toggleDictation"}).code, 2);
        // Nothing stored by the failed calls.
        QVERIFY(ovra({"shortcuts", "list"}).out.startsWith("toggleDictation\talt+super+d\n"));
    }

    void modeShortcuts()
    {
        Run added = ovra({"modes", "add", "Courriel"});
        QCOMPARE(added.code, 0);
        const QString id = added.out.trimmed();
        QVERIFY(!id.isEmpty());
        QCOMPARE(ovra({"shortcuts", "set", "powerMode-" + id.toLower(), "ctrl+alt+1"}).code, 0);
        const Run r = ovra({"shortcuts", "list"});
        QVERIFY2(r.out.contains("powerMode-" + id.toUpper() + "\tctrl+alt+1\tCourriel\n"), qPrintable(r.out));
    }
};

QTEST_GUILESS_MAIN(ShortcutCommandsTest)
#include "tst_shortcutcommands.moc"
