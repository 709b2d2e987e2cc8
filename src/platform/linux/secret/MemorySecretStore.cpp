#include "MemorySecretStore.h"

#include <QMutexLocker>

Expected<void, SecretStoreError> MemorySecretStore::save(const QString& service, const QString& account,
                                                         const QByteArray& value)
{
    QMutexLocker lock(&m_mutex);
    m_items.insert({service, account}, value);
    return {};
}

Expected<std::optional<QByteArray>, SecretStoreError> MemorySecretStore::read(const QString& service,
                                                                              const QString& account)
{
    QMutexLocker lock(&m_mutex);
    const auto it = m_items.constFind({service, account});
    if (it == m_items.constEnd())
        return std::optional<QByteArray>();
    return std::optional<QByteArray>(*it);
}

Expected<bool, SecretStoreError> MemorySecretStore::remove(const QString& service, const QString& account)
{
    QMutexLocker lock(&m_mutex);
    return m_items.remove({service, account}) > 0;
}
