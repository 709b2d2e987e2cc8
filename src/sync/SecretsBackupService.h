#pragma once
// A password-protected copy of the user's API keys: encrypted into a KeyBackup record, copied
// as "ovra-keys.json" to the cloud folder by the sync, restored into the secret store.
#include "ai/KeychainManager.h"
#include "store/Expected.h"
#include "store/Records.h"

#include <QObject>
#include <QPointer>
#include <optional>

class CloudFolder;
class DebugLog;
class Notifications;
class RecordStore;

struct SecretsBackupError
{
    enum class Kind { notReady, noBackup, incorrectPassword, encryptionFailed, decryptionFailed, passwordTooShort, keychain };
    Kind kind = Kind::notReady;
    QString detail; // keychain failures: the store's own words

    QString message() const;
};

// The content of "ovra-keys.json": the three fields of a KeyBackup, Base64 in JSON.
struct KeysBlob
{
    static constexpr const char* kFileName = "ovra-keys.json";
    QByteArray salt;
    QByteArray verifier;
    QByteArray ciphertext;

    QByteArray toJson() const;
    static std::optional<KeysBlob> fromJson(const QByteArray& json);
    bool operator==(const KeysBlob&) const = default;
};

class SecretsBackupService : public QObject
{
    Q_OBJECT
public:
    // New passphrases only: the key comes straight from the password, so it must be long.
    static constexpr int kMinimumPasswordLength = 12;

    SecretsBackupService(KeychainManager& keychain, Notifications& notifications, DebugLog& log,
                         QObject* parent = nullptr);

    void setModelContext(RecordStore* store);
    std::optional<KeyBackup> currentBackup() const;

    // Encrypts the API keys the keychain holds now under password (a new salt and nonce each time).
    Expected<void, SecretsBackupError> backup(const QString& password);
    // Without a backup here, the copy in cloudFolder (when given) is used and kept: how a new
    // installation gets the keys back.
    Expected<void, SecretsBackupError> restore(const QString& password, const CloudFolder* cloudFolder = nullptr);
    Expected<void, SecretsBackupError> changePassword(const QString& current, const QString& newPassword);
    // Every KeyBackup and the stored password go.
    Expected<void, SecretsBackupError> deleteBackup();

    // The cloud copy rule, run by the sync: our backup goes to the folder when it is missing there;
    // a different blob there is restored with this device's stored password and adopted.
    void syncCloudCopy(const CloudFolder& folder);

    static Expected<QHash<QString, QString>, SecretsBackupError> decryptBlob(const KeysBlob& blob,
                                                                              const QString& password);
    static Expected<KeysBlob, SecretsBackupError> encryptKeys(const QHash<QString, QString>& keys,
                                                              const QString& password);

Q_SIGNALS:
    void backupChanged();

private:
    Expected<void, SecretsBackupError> storeBlob(const KeysBlob& blob);
    Expected<void, SecretsBackupError> writeKeys(const QHash<QString, QString>& keys);
    Expected<void, SecretsBackupError> encryptCurrentKeys(const QString& password);

    KeychainManager& m_keychain;
    Notifications& m_notifications;
    DebugLog& m_log;
    QPointer<RecordStore> m_store;
};
