// `ovra sync` and `ovra keys backup|restore|passwd|unbackup` as a user runs them: two devices
// (two XDG homes) sharing one cloud folder, the real Secret Service of
// tests/rigs/with-keyring.sh.
#include "fakes/OvraProcess.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

class TestCliSync : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;

    QString home(const char* name) const { return m_dir.filePath(QLatin1String(name)); }
    OvraRun ovra(const char* device, const QStringList& args, const QByteArray& input = {})
    {
        auto env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("OVRA_SECRET_STORE")); // the rig's keyring
        env.insert(QStringLiteral("OVRA_CLOUD_DIR"), m_dir.filePath(QStringLiteral("cloud")));
        return runOvra(home(device), args, input, env);
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(QDir().mkpath(m_dir.filePath(QStringLiteral("cloud")))); }

    void recordsTravel()
    {
        QCOMPARE(ovra("a", {"dictionary", "add", "Ovrabidule"}).code, 0);
        auto r = ovra("a", {"sync"});
        QCOMPARE(r.out, QStringLiteral("Données envoyées vers iCloud.\n"));
        QCOMPARE(r.code, 0);
        r = ovra("b", {"sync"});
        QCOMPARE(r.out, QStringLiteral("Données reçues d'iCloud.\n"));
        QVERIFY(ovra("b", {"dictionary", "list"}).out.contains(QStringLiteral("Ovrabidule")));
        QCOMPARE(ovra("b", {"sync"}).out, QStringLiteral("Déjà à jour.\n"));
    }

    void noFolder_data()
    {
        QTest::addColumn<QString>("folder"); // "" = none chosen
        QTest::addColumn<QString>("hint");
        QTest::newRow("none chosen") << "" << "ovra settings set ovra.mac.cloudFolder CHEMIN";
        QTest::newRow("not mounted") << "/nonexistent/ovra-cloud" << "« /nonexistent/ovra-cloud » est introuvable";
    }
    void noFolder()
    {
        QFETCH(QString, folder);
        QFETCH(QString, hint);
        auto env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("OVRA_CLOUD_DIR"));
        if (!folder.isEmpty())
            env.insert(QStringLiteral("OVRA_CLOUD_DIR"), folder);
        const auto r = runOvra(home("c"), {"sync"}, {}, env);
        QCOMPARE(r.code, 1);
        QVERIFY(r.err.startsWith(QStringLiteral("iCloud Drive n'est pas disponible")));
        QVERIFY2(r.err.contains(hint), qPrintable(r.err));
        QVERIFY(!QFileInfo::exists(QStringLiteral("/nonexistent")));
    }

    void keysComeBackFromTheCloudCopy()
    {
        const QByteArray password = "une phrase de passe bien longue\n";
        QCOMPARE(ovra("a", {"keys", "set", "groq"}, "gsk_test_key\n").code, 0);
        auto r = ovra("a", {"keys", "backup"}, "court\n");
        QCOMPARE(r.code, 1);
        QVERIFY(r.err.contains(QStringLiteral("au moins 12 caractères")));
        QCOMPARE(ovra("a", {"keys", "backup"}, password).code, 0);
        QCOMPARE(ovra("a", {"sync"}).code, 0);
        QVERIFY(QFile::exists(m_dir.filePath(QStringLiteral("cloud/Documents/ovra-keys.json"))));

        // The key leaves the keyring; device b restores it from the copy in the folder.
        QProcess clear;
        clear.start(QStringLiteral("secret-tool"), {"clear", "service", "app.ovra.desktop.keychain", "account",
                                                    "mirelo.groq.apikey"});
        QVERIFY(clear.waitForFinished(30000));
        QVERIFY(!ovra("b", {"keys", "list"}).out.contains(QStringLiteral("groq")));
        r = ovra("b", {"keys", "restore"}, "pas la bonne phrase\n");
        QCOMPARE(r.code, 1);
        QCOMPARE(r.err, QStringLiteral("Incorrect backup password\n"));
        QCOMPARE(ovra("b", {"keys", "restore"}, password).code, 0);
        QVERIFY(ovra("b", {"keys", "list"}).out.contains(QStringLiteral("groq")));

        QCOMPARE(ovra("b", {"keys", "passwd"}, password + "la nouvelle phrase de passe\n").code, 0);
        QCOMPARE(ovra("b", {"keys", "restore"}, password).err, QStringLiteral("Incorrect backup password\n"));
        QCOMPARE(ovra("b", {"keys", "restore"}, "la nouvelle phrase de passe\n").code, 0);
        QCOMPARE(ovra("b", {"keys", "unbackup"}).code, 0);
        r = ovra("b", {"keys", "passwd"}, "la nouvelle phrase de passe\nune autre phrase longue\n");
        QCOMPARE(r.err, QStringLiteral("No backup found in iCloud\n"));
    }
};

QTEST_GUILESS_MAIN(TestCliSync)
#include "tst_cli_sync.moc"
