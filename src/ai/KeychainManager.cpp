#include "KeychainManager.h"

QString KeychainError::message() const
{
    const QString what = kind == Kind::saveFailed ? QStringLiteral("Impossible d’enregistrer la clé dans le trousseau")
                                                  : QStringLiteral("Impossible de lire la clé dans le trousseau");
    // The status code means nothing to a user when the secret store says what went wrong.
    if (!detail.isEmpty())
        return what + QStringLiteral(" : ") + detail;
    return what + QStringLiteral(" (statut ") + QString::number(status) + QStringLiteral(")");
}

KeychainManager::KeychainManager(SecretStore& store, QString service) : m_store(store), m_service(std::move(service)) {}

Expected<void, KeychainError> KeychainManager::save(const QByteArray& value, KeychainKey key)
{
    return save(value, rawValue(key));
}

Expected<void, KeychainError> KeychainManager::save(const QByteArray& value, const QString& account)
{
    const auto saved = m_store.save(m_service, account, value);
    if (!saved)
        return unexpected(KeychainError{KeychainError::Kind::saveFailed, saved.error().status, saved.error().message});
    return {};
}

Expected<std::optional<QByteArray>, KeychainError> KeychainManager::read(KeychainKey key)
{
    auto value = m_store.read(m_service, rawValue(key));
    if (!value)
        return unexpected(KeychainError{KeychainError::Kind::readFailed, value.error().status, value.error().message});
    return std::move(value.value());
}

std::optional<QByteArray> KeychainManager::read(const QString& account)
{
    auto value = m_store.read(m_service, account);
    if (!value)
        return std::nullopt;
    return std::move(value.value());
}

qint32 KeychainManager::remove(const QString& account)
{
    const auto removed = m_store.remove(m_service, account);
    if (!removed)
        return removed.error().status;
    return removed.value() ? kSuccess : kItemNotFound;
}
