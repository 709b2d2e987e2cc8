// Without a reachable Secret Service, saving fails with a clear message and reading reports an
// error rather than a missing key; nothing hangs.
#include "ai/KeychainManager.h"
#include "platform/linux/secret/LibsecretStore.h"

#include <QTemporaryDir>
#include <QTest>

class TestLibsecretStoreWithoutService : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        static QTemporaryDir dir;
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + dir.filePath("no-bus").toUtf8());
        qunsetenv("DISPLAY");
    }
    void failsCleanly()
    {
        LibsecretStore store;
        KeychainManager keychain(store);
        const auto saved = keychain.save("gsk-never-stored", KeychainKey::groqAPIKey);
        QVERIFY(!saved.hasValue());
        QCOMPARE(saved.error().kind, KeychainError::Kind::saveFailed);
        QCOMPARE(saved.error().status, LibsecretStore::kNotAvailable);
        QVERIFY(saved.error().message().startsWith("Impossible d’enregistrer la clé dans le trousseau"));
        QVERIFY(!saved.error().message().contains("gsk-never-stored"));
        QVERIFY2(!saved.error().message().contains("-25291"), qPrintable(saved.error().message()));
        const auto read = keychain.read(KeychainKey::groqAPIKey);
        QVERIFY(!read.hasValue());
        QCOMPARE(read.error().kind, KeychainError::Kind::readFailed);
        QCOMPARE(keychain.read(QString("any")), std::optional<QByteArray>());
    }
};

QTEST_GUILESS_MAIN(TestLibsecretStoreWithoutService)
#include "tst_libsecretstore_nobus.moc"
