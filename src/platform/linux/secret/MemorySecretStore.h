#pragma once
// Secrets kept in this process only (OVRA_SECRET_STORE=memory): tests and throwaway runs.
#include "platform/SecretStore.h"

#include <QHash>
#include <QMutex>

class MemorySecretStore : public SecretStore
{
public:
    Expected<void, SecretStoreError> save(const QString& service, const QString& account,
                                          const QByteArray& value) override;
    Expected<std::optional<QByteArray>, SecretStoreError> read(const QString& service,
                                                               const QString& account) override;
    Expected<bool, SecretStoreError> remove(const QString& service, const QString& account) override;

private:
    QMutex m_mutex;
    QHash<QPair<QString, QString>, QByteArray> m_items;
};
