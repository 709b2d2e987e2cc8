#include "SecretsBackupService.h"

#include "CloudFolder.h"
#include "KeyBackupCrypto.h"
#include "store/DebugLog.h"
#include "store/Notifications.h"
#include "store/RecordStore.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

const QList<KeychainKey>& trackedKeys()
{
    static const QList<KeychainKey> keys{KeychainKey::groqAPIKey, KeychainKey::openAIAPIKey,
                                         KeychainKey::anthropicAPIKey, KeychainKey::geminiAPIKey};
    return keys;
}

SecretsBackupError error(SecretsBackupError::Kind kind, QString detail = {})
{
    return {kind, std::move(detail)};
}

KeysBlob blobOf(const KeyBackup& b) { return {b.salt, b.verifier, b.encryptedPayload}; }

} // namespace

QString SecretsBackupError::message() const
{
    switch (kind) {
    case Kind::notReady:
        return QStringLiteral("Backup service is not ready");
    case Kind::noBackup:
        return QStringLiteral("No backup found in iCloud");
    case Kind::incorrectPassword:
        return QStringLiteral("Incorrect backup password");
    case Kind::encryptionFailed:
        return QStringLiteral("Could not encrypt backup");
    case Kind::decryptionFailed:
        return QStringLiteral("Could not decrypt backup");
    case Kind::passwordTooShort:
        return QStringLiteral("La phrase de passe doit compter au moins %1 caractères : la clé en est tirée sans "
                              "étirement, seule sa longueur la protège.")
            .arg(SecretsBackupService::kMinimumPasswordLength);
    case Kind::keychain:
        return detail;
    }
    return {};
}

QByteArray KeysBlob::toJson() const
{
    const QJsonObject o{{QStringLiteral("salt"), QString::fromLatin1(salt.toBase64())},
                        {QStringLiteral("verifier"), QString::fromLatin1(verifier.toBase64())},
                        {QStringLiteral("ciphertext"), QString::fromLatin1(ciphertext.toBase64())}};
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

std::optional<KeysBlob> KeysBlob::fromJson(const QByteArray& json)
{
    if (json.size() > (1 << 20))
        return std::nullopt;
    const QJsonDocument doc = QJsonDocument::fromJson(json);
    if (!doc.isObject())
        return std::nullopt;
    KeysBlob b;
    for (auto [key, out] : {std::pair{"salt", &b.salt}, std::pair{"verifier", &b.verifier},
                            std::pair{"ciphertext", &b.ciphertext}}) {
        const QJsonValue v = doc.object().value(QLatin1String(key));
        if (!v.isString())
            return std::nullopt;
        const auto decoded = QByteArray::fromBase64Encoding(v.toString().toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded)
            return std::nullopt;
        *out = *decoded;
    }
    return b;
}

SecretsBackupService::SecretsBackupService(KeychainManager& keychain, Notifications& notifications, DebugLog& log,
                                           QObject* parent)
    : QObject(parent), m_keychain(keychain), m_notifications(notifications), m_log(log)
{
}

void SecretsBackupService::setModelContext(RecordStore* store) { m_store = store; }

std::optional<KeyBackup> SecretsBackupService::currentBackup() const
{
    if (!m_store)
        return std::nullopt;
    const QList<KeyBackup> all = m_store->fetch<KeyBackup>({}, {{QStringLiteral("updatedAt"), false}});
    return all.isEmpty() ? std::nullopt : std::optional(all.first());
}

Expected<KeysBlob, SecretsBackupError> SecretsBackupService::encryptKeys(const QHash<QString, QString>& keys,
                                                                         const QString& password)
{
    QJsonObject plain;
    for (auto it = keys.begin(); it != keys.end(); ++it)
        plain.insert(it.key(), it.value());
    const QByteArray pw = password.toUtf8();
    const auto salt = KeyBackupCrypto::randomBytes(KeyBackupCrypto::kSaltBytes);
    const auto key = salt ? KeyBackupCrypto::encryptionKey(pw, *salt) : std::nullopt;
    const auto verifier = salt ? KeyBackupCrypto::verifier(pw, *salt) : std::nullopt;
    const auto sealed =
        key ? KeyBackupCrypto::seal(QJsonDocument(plain).toJson(QJsonDocument::Compact), *key) : std::nullopt;
    if (!sealed || !verifier)
        return unexpected(error(SecretsBackupError::Kind::encryptionFailed));
    return KeysBlob{*salt, *verifier, *sealed};
}

Expected<QHash<QString, QString>, SecretsBackupError> SecretsBackupService::decryptBlob(const KeysBlob& blob,
                                                                                       const QString& password)
{
    const QByteArray pw = password.toUtf8();
    const auto verifier = KeyBackupCrypto::verifier(pw, blob.salt);
    if (!verifier || !KeyBackupCrypto::equal(*verifier, blob.verifier))
        return unexpected(error(SecretsBackupError::Kind::incorrectPassword));
    const auto key = KeyBackupCrypto::encryptionKey(pw, blob.salt);
    const auto plain = key ? KeyBackupCrypto::open(blob.ciphertext, *key) : std::nullopt;
    if (!plain)
        return unexpected(error(SecretsBackupError::Kind::decryptionFailed));
    const QJsonDocument doc = QJsonDocument::fromJson(*plain);
    if (!doc.isObject())
        return unexpected(error(SecretsBackupError::Kind::decryptionFailed));
    QHash<QString, QString> keys;
    const QJsonObject o = doc.object();
    for (auto it = o.begin(); it != o.end(); ++it)
        if (it.value().isString())
            keys.insert(it.key(), it.value().toString());
    return keys;
}

Expected<void, SecretsBackupError> SecretsBackupService::storeBlob(const KeysBlob& blob)
{
    std::optional<KeyBackup> existing = currentBackup();
    KeyBackup b = existing.value_or(KeyBackup{});
    const QDateTime now = DateTime::now();
    if (!existing)
        b.createdAt = now;
    b.updatedAt = now;
    b.salt = blob.salt;
    b.verifier = blob.verifier;
    b.encryptedPayload = blob.ciphertext;
    const StoreResult saved = m_store->save([&]() -> StoreResult {
        return existing ? m_store->replace(b) : m_store->insert(b);
    });
    if (!saved)
        return unexpected(error(SecretsBackupError::Kind::encryptionFailed, saved.error().message));
    Q_EMIT backupChanged();
    return {};
}

Expected<void, SecretsBackupError> SecretsBackupService::encryptCurrentKeys(const QString& password)
{
    QHash<QString, QString> keys;
    for (KeychainKey k : trackedKeys()) {
        const auto value = m_keychain.read(k);
        if (!value)
            return unexpected(error(SecretsBackupError::Kind::keychain, value.error().message()));
        if (value->has_value())
            keys.insert(rawValue(k), QString::fromUtf8(**value));
    }
    auto blob = encryptKeys(keys, password);
    if (!blob)
        return unexpected(blob.error());
    if (auto ok = storeBlob(*blob); !ok)
        return ok;
    if (auto saved = m_keychain.save(password.toUtf8(), KeychainKey::backupPassword); !saved)
        m_log.log(QStringLiteral("SYNC mot de passe de sauvegarde non enregistré : ") + saved.error().message(),
                  QStringLiteral("SYNC"));
    return {};
}

Expected<void, SecretsBackupError> SecretsBackupService::backup(const QString& password)
{
    if (!m_store)
        return unexpected(error(SecretsBackupError::Kind::notReady));
    if (password.size() < kMinimumPasswordLength)
        return unexpected(error(SecretsBackupError::Kind::passwordTooShort));
    return encryptCurrentKeys(password);
}

Expected<void, SecretsBackupError> SecretsBackupService::writeKeys(const QHash<QString, QString>& keys)
{
    for (KeychainKey k : trackedKeys()) {
        const auto it = keys.constFind(rawValue(k));
        if (it == keys.constEnd())
            continue;
        if (auto saved = m_keychain.save(it->toUtf8(), k); !saved)
            return unexpected(error(SecretsBackupError::Kind::keychain, saved.error().message()));
    }
    Q_EMIT m_notifications.secretsKeysRestored();
    return {};
}

Expected<void, SecretsBackupError> SecretsBackupService::restore(const QString& password, const CloudFolder* cloudFolder)
{
    if (!m_store)
        return unexpected(error(SecretsBackupError::Kind::notReady));
    const std::optional<KeyBackup> b = currentBackup();
    std::optional<KeysBlob> blob = b ? std::optional(blobOf(*b)) : std::nullopt;
    if (!blob && cloudFolder) {
        const auto read = cloudFolder->read(QLatin1String(KeysBlob::kFileName));
        if (read && read->has_value())
            blob = KeysBlob::fromJson(**read);
    }
    if (!blob)
        return unexpected(error(SecretsBackupError::Kind::noBackup));
    auto keys = decryptBlob(*blob, password);
    if (!keys)
        return unexpected(keys.error());
    if (auto ok = writeKeys(*keys); !ok)
        return ok;
    if (!b)
        (void)storeBlob(*blob);
    // Later copies from the other devices are then restored here without asking.
    (void)m_keychain.save(password.toUtf8(), KeychainKey::backupPassword);
    return {};
}

Expected<void, SecretsBackupError> SecretsBackupService::changePassword(const QString& current,
                                                                        const QString& newPassword)
{
    const std::optional<KeyBackup> b = currentBackup();
    if (!b)
        return unexpected(error(SecretsBackupError::Kind::noBackup));
    const auto verifier = KeyBackupCrypto::verifier(current.toUtf8(), b->salt);
    if (!verifier || !KeyBackupCrypto::equal(*verifier, b->verifier))
        return unexpected(error(SecretsBackupError::Kind::incorrectPassword));
    if (newPassword.size() < kMinimumPasswordLength)
        return unexpected(error(SecretsBackupError::Kind::passwordTooShort));
    return encryptCurrentKeys(newPassword);
}

Expected<void, SecretsBackupError> SecretsBackupService::deleteBackup()
{
    if (!m_store)
        return unexpected(error(SecretsBackupError::Kind::notReady));
    const QList<KeyBackup> all = m_store->fetch<KeyBackup>();
    const StoreResult deleted = m_store->save([&]() -> StoreResult {
        for (const KeyBackup& b : all)
            if (auto ok = m_store->remove<KeyBackup>(b.id); !ok)
                return ok;
        return {};
    });
    if (!deleted)
        return unexpected(error(SecretsBackupError::Kind::keychain, deleted.error().message));
    const qint32 status = m_keychain.remove(rawValue(KeychainKey::backupPassword));
    if (status != KeychainManager::kSuccess && status != KeychainManager::kItemNotFound)
        m_log.log(QStringLiteral("SYNC mot de passe de sauvegarde non supprimé (statut %1)").arg(status),
                  QStringLiteral("SYNC"));
    Q_EMIT backupChanged();
    return {};
}

void SecretsBackupService::syncCloudCopy(const CloudFolder& folder)
{
    if (!m_store)
        return;
    const QString tag = QStringLiteral("SYNC");
    const QString name = QLatin1String(KeysBlob::kFileName);
    const std::optional<KeyBackup> local = currentBackup();
    const auto read = folder.read(name);
    if (!read) {
        m_log.log(QStringLiteral("SYNC sauvegarde des clés illisible : ") + read.error().message, tag);
        return;
    }
    auto writeLocal = [&] {
        if (auto ok = folder.write(name, blobOf(*local).toJson()); !ok)
            m_log.log(QStringLiteral("SYNC sauvegarde des clés non copiée : ") + ok.error().message, tag);
    };
    if (!read->has_value()) {
        if (local)
            writeLocal();
        return;
    }
    const std::optional<KeysBlob> remote = KeysBlob::fromJson(**read);
    if (!remote) {
        // Not ours to replace: another program or a damaged copy. Logged, left alone.
        m_log.log(QStringLiteral("SYNC fichier ovra-keys.json illisible — ignoré"), tag);
        return;
    }
    if (local && blobOf(*local) == *remote)
        return;
    // A backup made here after the copy there arrived replaces it.
    if (local && local->updatedAt >= QFileInfo(folder.filePath(name)).lastModified()) {
        writeLocal();
        return;
    }
    const std::optional<QByteArray> password = m_keychain.read(rawValue(KeychainKey::backupPassword));
    if (password) {
        auto keys = decryptBlob(*remote, QString::fromUtf8(*password));
        if (keys) {
            if (auto ok = writeKeys(*keys); !ok) {
                m_log.log(QStringLiteral("SYNC clés non restaurées : ") + ok.error().message(), tag);
                return;
            }
            if (auto ok = storeBlob(*remote); !ok)
                m_log.log(QStringLiteral("SYNC sauvegarde des clés non enregistrée : ") + ok.error().message(), tag);
            m_log.log(QStringLiteral("SYNC clés restaurées depuis ovra-keys.json"), tag);
            return;
        }
        m_log.log(QStringLiteral("SYNC ovra-keys.json non restauré : ") + keys.error().message(), tag);
    }
}
