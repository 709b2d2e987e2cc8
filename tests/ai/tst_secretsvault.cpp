// The vault over an in-process secret store: saved keys, the published model list, the
// restore notification, and keys never leaving the secret store.
#include "ai/SecretsVault.h"
#include "fakes/AwaitTask.h"
#include "platform/linux/secret/MemorySecretStore.h"
#include "store/Notifications.h"
#include "store/Settings.h"

#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

// A store whose service is gone.
class BrokenSecretStore : public SecretStore
{
public:
    Expected<void, SecretStoreError> save(const QString&, const QString&, const QByteArray&) override
    {
        return unexpected(SecretStoreError{-25291, "Secret Service : aucun service"});
    }
    Expected<std::optional<QByteArray>, SecretStoreError> read(const QString&, const QString&) override
    {
        return unexpected(SecretStoreError{-25291, "Secret Service : aucun service"});
    }
    Expected<bool, SecretStoreError> remove(const QString&, const QString&) override
    {
        return unexpected(SecretStoreError{-25291, "Secret Service : aucun service"});
    }
};

QStringList providerIDs(const Settings& settings)
{
    const QJsonArray entries =
        QJsonDocument::fromJson(settings.value(SecretsVault::kAIModelsKey).toByteArray()).array();
    QStringList ids;
    for (const QJsonValue& e : entries)
        ids << e.toObject().value("id").toString();
    return ids;
}

QByteArray allSettingsBytes(const QString& folder)
{
    QByteArray all;
    QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile f(it.next());
        if (f.open(QIODevice::ReadOnly))
            all += f.readAll();
    }
    return all;
}

struct Rig
{
    QTemporaryDir dir;
    MemorySecretStore store;
    KeychainManager keychain{store, "test.keychain"};
    Settings settings{dir.path()};
    Notifications notifications;
    SecretsVault vault{keychain, settings, notifications};
};

} // namespace

class TestSecretsVault : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void startScansTheStore()
    {
        Rig r;
        QVERIFY(r.keychain.save("gsk-1", KeychainKey::groqAPIKey).hasValue());
        QVERIFY(r.keychain.save("", KeychainKey::openAIAPIKey).hasValue());
        QVERIFY(r.keychain.save("sk-ant", KeychainKey::anthropicAPIKey).hasValue());
        QVERIFY(r.keychain.save("pw", KeychainKey::backupPassword).hasValue());
        QVERIFY(r.vault.savedKeys().isEmpty());
        QSignalSpy changed(&r.vault, &SecretsVault::savedKeysChanged);
        awaitTask(r.vault.start());
        QCOMPARE(changed.size(), 1);
        // An empty item still counts as saved, but its provider is not offered.
        QCOMPARE(r.vault.savedKeys(), (QSet<KeychainKey>{KeychainKey::groqAPIKey, KeychainKey::openAIAPIKey,
                                                         KeychainKey::anthropicAPIKey, KeychainKey::backupPassword}));
        QCOMPARE(providerIDs(r.settings), (QStringList{"claude", "groq"}));
        const QJsonArray doc = QJsonDocument::fromJson(r.settings.value(SecretsVault::kAIModelsKey).toByteArray()).array();
        const QJsonObject claude = doc[0].toObject();
        QCOMPARE(claude.value("name").toString(), QString("Anthropic"));
        QCOMPARE(claude.value("models").toArray().size(), 7);
        QCOMPARE(claude.value("models").toArray()[6].toObject().value("name").toString(), QString("Claude Haiku 4.5"));
        QCOMPARE(doc[1].toObject().value("models").toArray()[0].toObject().value("id").toString(),
                 QString("openai/gpt-oss-120b"));
        QCOMPARE(r.vault.apiKey(KeychainKey::groqAPIKey), std::optional<QString>("gsk-1"));
        QCOMPARE(r.vault.apiKey(KeychainKey::openAIAPIKey), std::optional<QString>());
        QCOMPARE(r.vault.apiKey(KeychainKey::geminiAPIKey), std::optional<QString>());
    }

    void noKeysPublishesAnEmptyList()
    {
        Rig r;
        awaitTask(r.vault.start());
        QVERIFY(r.vault.savedKeys().isEmpty());
        QCOMPARE(r.settings.value(SecretsVault::kAIModelsKey).toByteArray(), QByteArray("[]"));
    }

    void saveOverwritesAndNeverCopiesTheKey()
    {
        Rig r;
        // A copy written by an earlier version is cleaned up.
        r.settings.setValue("mirelo.kb.geminiKey", "AIza-old-copy");
        awaitTask(r.vault.start());
        QSignalSpy changed(&r.vault, &SecretsVault::savedKeysChanged);
        QVERIFY(r.vault.save("AIza-first", KeychainKey::geminiAPIKey).hasValue());
        QVERIFY(r.vault.save("AIza-second", KeychainKey::geminiAPIKey).hasValue());
        QCOMPARE(changed.size(), 1);
        QCOMPARE(r.vault.apiKey(KeychainKey::geminiAPIKey), std::optional<QString>("AIza-second"));
        QCOMPARE(providerIDs(r.settings), QStringList{"gemini"});
        QVERIFY(!r.settings.contains("mirelo.kb.geminiKey"));
        r.settings.sync();
        const QByteArray files = allSettingsBytes(r.dir.path());
        QVERIFY(!files.contains("AIza-second"));
        QVERIFY(!files.contains("AIza-old-copy"));
    }

    void saveFailureChangesNothing()
    {
        QTemporaryDir dir;
        BrokenSecretStore store;
        KeychainManager keychain(store, "test.keychain");
        Settings settings(dir.path());
        Notifications notifications;
        SecretsVault vault(keychain, settings, notifications);
        awaitTask(vault.start());
        QVERIFY(vault.savedKeys().isEmpty());
        const QVariant before = settings.value(SecretsVault::kAIModelsKey);
        const auto saved = vault.save("gsk-secret", KeychainKey::groqAPIKey);
        QVERIFY(!saved.hasValue());
        QCOMPARE(saved.error().kind, KeychainError::Kind::saveFailed);
        QCOMPARE(saved.error().status, -25291);
        QVERIFY(saved.error().message().contains("Secret Service"));
        QVERIFY(!saved.error().message().contains("gsk-secret"));
        QVERIFY(vault.savedKeys().isEmpty());
        QCOMPARE(settings.value(SecretsVault::kAIModelsKey), before);
        // Read failures count as missing keys; the by-account read never fails.
        QVERIFY(!keychain.read(KeychainKey::groqAPIKey).hasValue());
        QCOMPARE(keychain.read(QString("any")), std::optional<QByteArray>());
        QCOMPARE(keychain.remove("any"), -25291);
    }

    void restoreNotificationRefreshes()
    {
        Rig r;
        awaitTask(r.vault.start());
        // The key backup restore writes straight into the store, then notifies.
        QVERIFY(r.keychain.save("sk-openai", KeychainKey::openAIAPIKey).hasValue());
        QVERIFY(r.keychain.save("pw", KeychainKey::backupPassword).hasValue());
        QVERIFY(r.vault.savedKeys().isEmpty());
        Q_EMIT r.notifications.secretsKeysRestored();
        QCOMPARE(r.vault.savedKeys(), (QSet<KeychainKey>{KeychainKey::openAIAPIKey, KeychainKey::backupPassword}));
        QCOMPARE(providerIDs(r.settings), QStringList{"openai"});
    }

    void accountItems()
    {
        MemorySecretStore store;
        KeychainManager keychain(store, "test.keychain");
        QCOMPARE(keychain.remove("pairing.phone"), KeychainManager::kItemNotFound);
        QVERIFY(keychain.save("token", QString("pairing.phone")).hasValue());
        QCOMPARE(keychain.read(QString("pairing.phone")), std::optional<QByteArray>("token"));
        QCOMPARE(keychain.remove("pairing.phone"), KeychainManager::kSuccess);
        QCOMPARE(keychain.read(QString("pairing.phone")), std::optional<QByteArray>());
        // Another service does not see the item.
        QVERIFY(keychain.save("token", KeychainKey::groqAPIKey).hasValue());
        KeychainManager other(store, "other.keychain");
        QCOMPARE(other.read(KeychainKey::groqAPIKey).value(), std::optional<QByteArray>());
    }
};

QTEST_GUILESS_MAIN(TestSecretsVault)
#include "tst_secretsvault.moc"
