#include "store/StoreFixture.h"
#include "platform/linux/secret/MemorySecretStore.h"
#include "store/DebugLog.h"
#include "store/Notifications.h"
#include "sync/CloudFolder.h"
#include "sync/SecretsBackupService.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>

namespace {

const QString kPassword = QStringLiteral("une phrase de passe assez longue");

// One installation: store, secret store, the service.
struct Device
{
    StoreFixture fx;
    std::unique_ptr<RecordStore> store = fx.open();
    MemorySecretStore secrets;
    KeychainManager keychain{secrets};
    Notifications notifications;
    DebugLog log{fx.dir.filePath(QStringLiteral("data"))};
    SecretsBackupService service{keychain, notifications, log};

    Device() { service.setModelContext(store.get()); }

    void setKey(KeychainKey k, const QString& v) { QVERIFY(keychain.save(v.toUtf8(), k)); }
    QString key(KeychainKey k)
    {
        const auto v = keychain.read(k);
        return v && v->has_value() ? QString::fromUtf8(**v) : QStringLiteral("<absent>");
    }
    KeysBlob blob() const
    {
        const auto b = service.currentBackup();
        return b ? KeysBlob{b->salt, b->verifier, b->encryptedPayload} : KeysBlob{};
    }
};

QString python() { return QStandardPaths::findExecutable(QStringLiteral("python3"), {QStringLiteral("/usr/bin")}); }

// Runs the independent implementation; empty when it refused.
QByteArray runPython(const QStringList& args, const QByteArray& input = {})
{
    QProcess p;
    p.start(python(), QStringList{QStringLiteral(SYNC_TEST_DATA "/keysblob.py")} + args);
    p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(60000) || p.exitCode() != 0) {
        qWarning() << p.readAllStandardError();
        return {};
    }
    return p.readAllStandardOutput().trimmed();
}

} // namespace

class TestSecretsBackup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void onlyTheKeysPresentAreBackedUpAndRestored()
    {
        Device d;
        d.setKey(KeychainKey::groqAPIKey, QStringLiteral("gsk_groq"));
        QVERIFY(d.service.backup(kPassword));
        QVERIFY(d.service.currentBackup());
        QCOMPARE(d.key(KeychainKey::backupPassword), kPassword);

        d.setKey(KeychainKey::groqAPIKey, QStringLiteral("changée"));
        d.setKey(KeychainKey::openAIAPIKey, QStringLiteral("sk-openai"));
        QSignalSpy restored(&d.notifications, &Notifications::secretsKeysRestored);
        QVERIFY(d.service.restore(kPassword));
        QCOMPARE(restored.size(), 1);
        QCOMPARE(d.key(KeychainKey::groqAPIKey), QStringLiteral("gsk_groq"));
        QCOMPARE(d.key(KeychainKey::openAIAPIKey), QStringLiteral("sk-openai"));
        QCOMPARE(d.key(KeychainKey::anthropicAPIKey), QStringLiteral("<absent>"));
    }

    void twoBackupsDifferEntirely()
    {
        Device d;
        d.setKey(KeychainKey::geminiAPIKey, QStringLiteral("AIza"));
        QVERIFY(d.service.backup(kPassword));
        const KeysBlob first = d.blob();
        QVERIFY(d.service.backup(kPassword));
        const KeysBlob second = d.blob();
        QCOMPARE(first.salt.size(), 32);
        QCOMPARE(first.verifier.size(), 32);
        QVERIFY(first.salt != second.salt);
        QVERIFY(first.verifier != second.verifier);
        QVERIFY(first.ciphertext.left(12) != second.ciphertext.left(12));
        QVERIFY(first.ciphertext.mid(12) != second.ciphertext.mid(12));
        QCOMPARE(d.store->count<KeyBackup>(), 1);
    }

    void damagedOrWrongGivesItsMessage_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("part");
        QTest::addColumn<int>("byte");
        QTest::addColumn<QString>("message");
        QTest::newRow("wrong password") << "une autre phrase de passe" << "" << 0 << "Incorrect backup password";
        QTest::newRow("nonce altered") << kPassword << "ciphertext" << 3 << "Could not decrypt backup";
        QTest::newRow("ciphertext altered") << kPassword << "ciphertext" << 20 << "Could not decrypt backup";
        QTest::newRow("tag altered") << kPassword << "ciphertext" << -1 << "Could not decrypt backup";
        QTest::newRow("salt altered") << kPassword << "salt" << 0 << "Incorrect backup password";
        QTest::newRow("verifier altered") << kPassword << "verifier" << 31 << "Incorrect backup password";
        QTest::newRow("ciphertext cut short") << kPassword << "short" << 0 << "Could not decrypt backup";
    }
    void damagedOrWrongGivesItsMessage()
    {
        QFETCH(QString, password);
        QFETCH(QString, part);
        QFETCH(int, byte);
        QFETCH(QString, message);
        Device d;
        d.setKey(KeychainKey::anthropicAPIKey, QStringLiteral("sk-ant"));
        QVERIFY(d.service.backup(kPassword));
        auto b = *d.service.currentBackup();
        QByteArray* target = part == QLatin1String("salt")       ? &b.salt
                             : part == QLatin1String("verifier") ? &b.verifier
                                                                 : &b.encryptedPayload;
        if (part == QLatin1String("short"))
            b.encryptedPayload.truncate(20);
        else if (!part.isEmpty())
            (*target)[byte < 0 ? target->size() - 1 : byte] ^= 0x01;
        QVERIFY(d.store->replace(b));
        d.setKey(KeychainKey::anthropicAPIKey, QStringLiteral("actuelle"));

        QSignalSpy restored(&d.notifications, &Notifications::secretsKeysRestored);
        const auto r = d.service.restore(password);
        QVERIFY(!r);
        QCOMPARE(r.error().message(), message);
        QCOMPARE(d.key(KeychainKey::anthropicAPIKey), QStringLiteral("actuelle"));
        QCOMPARE(restored.size(), 0);
        QCOMPARE(d.service.currentBackup()->encryptedPayload, b.encryptedPayload);
    }

    void passwordRules()
    {
        Device d;
        QCOMPARE(d.service.restore(kPassword).error().message(), QStringLiteral("No backup found in iCloud"));
        const auto tooShort = d.service.backup(QStringLiteral("court"));
        QVERIFY(!tooShort);
        QCOMPARE(tooShort.error().kind, SecretsBackupError::Kind::passwordTooShort);
        QVERIFY(!d.service.currentBackup());

        d.setKey(KeychainKey::groqAPIKey, QStringLiteral("gsk"));
        QVERIFY(d.service.backup(kPassword));
        const QString next = QStringLiteral("la nouvelle phrase de passe");
        QCOMPARE(d.service.changePassword(QStringLiteral("pas la bonne phrase"), next).error().message(),
                 QStringLiteral("Incorrect backup password"));
        QCOMPARE(d.service.changePassword(kPassword, QStringLiteral("court")).error().kind,
                 SecretsBackupError::Kind::passwordTooShort);
        QVERIFY(d.service.restore(kPassword)); // nothing changed so far
        QVERIFY(d.service.changePassword(kPassword, next));
        QCOMPARE(d.service.restore(kPassword).error().message(), QStringLiteral("Incorrect backup password"));
        QVERIFY(d.service.restore(next));
        QCOMPARE(d.key(KeychainKey::backupPassword), next);

        // A backup made elsewhere with a short password still opens.
        const auto shortBlob = SecretsBackupService::encryptKeys({{QStringLiteral("mirelo.groq.apikey"), QStringLiteral("x")}},
                                                                 QStringLiteral("abc"));
        QVERIFY(shortBlob);
        QCOMPARE(SecretsBackupService::decryptBlob(*shortBlob, QStringLiteral("abc"))->value(QStringLiteral("mirelo.groq.apikey")),
                 QStringLiteral("x"));

        QVERIFY(d.service.deleteBackup());
        QVERIFY(!d.service.currentBackup());
        QCOMPARE(d.key(KeychainKey::backupPassword), QStringLiteral("<absent>"));
        QCOMPARE(d.key(KeychainKey::groqAPIKey), QStringLiteral("gsk"));
    }

    void notReadyWithoutStore()
    {
        MemorySecretStore secrets;
        KeychainManager keychain(secrets);
        Notifications n;
        DebugLog log{QString()};
        SecretsBackupService s(keychain, n, log);
        QCOMPARE(s.backup(kPassword).error().message(), QStringLiteral("Backup service is not ready"));
    }

    void independentImplementationReadsAndWrites()
    {
        if (python().isEmpty())
            QSKIP("python3 is not installed (scripts/install-deps.sh installs it)");
        QProcess probe;
        probe.start(python(), {QStringLiteral("-c"), QStringLiteral("import cryptography")});
        if (!probe.waitForFinished(30000) || probe.exitCode() != 0)
            QSKIP("python3-cryptography is not installed (scripts/install-deps.sh installs it)");

        Device d;
        d.setKey(KeychainKey::groqAPIKey, QStringLiteral("gsk_é✓"));
        d.setKey(KeychainKey::geminiAPIKey, QStringLiteral("AIza"));
        QVERIFY(d.service.backup(kPassword));
        const QByteArray plain = runPython({QStringLiteral("decrypt"), kPassword}, d.blob().toJson());
        const QJsonObject keys = QJsonDocument::fromJson(plain).object();
        QCOMPARE(keys.value(QStringLiteral("mirelo.groq.apikey")).toString(), QStringLiteral("gsk_é✓"));
        QCOMPARE(keys.size(), 2);

        // And the other way: a blob made there restores here, unknown names ignored.
        const QByteArray made = runPython({QStringLiteral("encrypt"), QStringLiteral("court"),
                                           QStringLiteral("{\"mirelo.openai.apikey\":\"sk-py\",\"inconnu\":\"x\"}")});
        const auto blob = KeysBlob::fromJson(made);
        QVERIFY(blob);
        const auto opened = SecretsBackupService::decryptBlob(*blob, QStringLiteral("court"));
        QVERIFY(opened);
        QCOMPARE(opened->value(QStringLiteral("mirelo.openai.apikey")), QStringLiteral("sk-py"));
    }

    void cloudCopyTravelsBetweenDevices()
    {
        QTemporaryDir cloud;
        const CloudFolder folder(cloud.path());
        Device a;
        Device b;
        a.setKey(KeychainKey::openAIAPIKey, QStringLiteral("sk-a"));
        QVERIFY(a.service.backup(kPassword));
        a.service.syncCloudCopy(folder);
        QCOMPARE(KeysBlob::fromJson(*folder.read(QLatin1String(KeysBlob::kFileName)).value()), a.blob());

        // Without the password nothing is restored, and B has no backup to write over it.
        b.service.syncCloudCopy(folder);
        QCOMPARE(b.key(KeychainKey::openAIAPIKey), QStringLiteral("<absent>"));
        QVERIFY(!b.service.currentBackup());

        b.setKey(KeychainKey::backupPassword, kPassword);
        QSignalSpy restored(&b.notifications, &Notifications::secretsKeysRestored);
        b.service.syncCloudCopy(folder);
        QCOMPARE(restored.size(), 1);
        QCOMPARE(b.key(KeychainKey::openAIAPIKey), QStringLiteral("sk-a"));
        QCOMPARE(b.blob(), a.blob());
        b.service.syncCloudCopy(folder); // same blob: nothing again
        QCOMPARE(restored.size(), 1);

        // A new installation restores from the cloud copy, and keeps it as its backup.
        Device c;
        QCOMPARE(c.service.restore(QStringLiteral("mauvaise phrase de passe"), &folder).error().message(),
                 QStringLiteral("Incorrect backup password"));
        QVERIFY(!c.service.currentBackup());
        QVERIFY(c.service.restore(kPassword, &folder));
        QCOMPARE(c.key(KeychainKey::openAIAPIKey), QStringLiteral("sk-a"));
        QCOMPARE(c.blob(), a.blob());

        // A backup made afterwards replaces the copy, and is not undone by the older one there.
        a.setKey(KeychainKey::openAIAPIKey, QStringLiteral("sk-a2"));
        QVERIFY(a.service.backup(kPassword));
        a.service.syncCloudCopy(folder);
        QCOMPARE(KeysBlob::fromJson(*folder.read(QLatin1String(KeysBlob::kFileName)).value()), a.blob());
        b.service.syncCloudCopy(folder);
        QCOMPARE(b.key(KeychainKey::openAIAPIKey), QStringLiteral("sk-a2"));

        // A file that is not a blob is left alone.
        QVERIFY(folder.write(QLatin1String(KeysBlob::kFileName), "pas du JSON"));
        a.service.syncCloudCopy(folder);
        QCOMPARE(folder.read(QLatin1String(KeysBlob::kFileName)).value().value(), QByteArray("pas du JSON"));
    }
};

QTEST_GUILESS_MAIN(TestSecretsBackup)
#include "tst_secretsbackup.moc"
