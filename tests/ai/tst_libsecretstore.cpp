// The Secret Service store for real (run inside tests/rigs/with-keyring.sh): save, overwrite,
// read, miss and remove items identified by service + account.
#include "ai/KeychainManager.h"
#include "platform/linux/secret/LibsecretStore.h"

#include <QProcess>
#include <QTest>

class TestLibsecretStore : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void itemsByServiceAndAccount()
    {
        LibsecretStore store;
        const QString service = "app.ovra.test.keychain";
        auto missing = store.read(service, "mirelo.groq.apikey");
        QVERIFY2(missing.hasValue(), qPrintable(missing.hasValue() ? QString() : missing.error().message));
        QVERIFY(!missing.value().has_value());

        QVERIFY(store.save(service, "mirelo.groq.apikey", "gsk-one").hasValue());
        QCOMPARE(store.read(service, "mirelo.groq.apikey").value(), std::optional<QByteArray>("gsk-one"));
        QVERIFY(store.save(service, "mirelo.groq.apikey", QByteArray("gsk-\x00two\xff", 9)).hasValue());
        QCOMPARE(store.read(service, "mirelo.groq.apikey").value(), std::optional<QByteArray>(QByteArray("gsk-\x00two\xff", 9)));

        // Same account under another service: a different item.
        QCOMPARE(store.read("other.service", "mirelo.groq.apikey").value(), std::optional<QByteArray>());
        QVERIFY(store.save(service, "empty", QByteArray()).hasValue());
        QCOMPARE(store.read(service, "empty").value(), std::optional<QByteArray>(QByteArray()));

        // One item per identity, visible to the desktop's own tools.
        QProcess tool;
        tool.start("secret-tool", {"search", "--all", "service", service, "account", "mirelo.groq.apikey"});
        QVERIFY(tool.waitForFinished(10000));
        const QByteArray listing = tool.readAllStandardOutput() + tool.readAllStandardError();
        QCOMPARE(listing.count("[/"), 1);

        QCOMPARE(store.remove(service, "mirelo.groq.apikey").value(), true);
        QCOMPARE(store.remove(service, "mirelo.groq.apikey").value(), false);
        QCOMPARE(store.read(service, "mirelo.groq.apikey").value(), std::optional<QByteArray>());
    }

    void keychainOverTheSecretService()
    {
        LibsecretStore store;
        KeychainManager keychain(store);
        QVERIFY(keychain.save("sk-ant-1", KeychainKey::anthropicAPIKey).hasValue());
        QVERIFY(keychain.save("sk-ant-2", KeychainKey::anthropicAPIKey).hasValue());
        QCOMPARE(keychain.read(KeychainKey::anthropicAPIKey).value(), std::optional<QByteArray>("sk-ant-2"));
        QCOMPARE(keychain.read(KeychainKey::geminiAPIKey).value(), std::optional<QByteArray>());
        QCOMPARE(keychain.remove(rawValue(KeychainKey::anthropicAPIKey)), KeychainManager::kSuccess);
    }
};

QTEST_GUILESS_MAIN(TestLibsecretStore)
#include "tst_libsecretstore.moc"
