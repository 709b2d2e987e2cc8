#pragma once
// The desktop's store of generic-password items, each identified by (service, account).
// "Not found" is a normal answer, distinct from a failure of the store itself.
#include "store/Expected.h"

#include <QByteArray>
#include <QString>
#include <optional>

struct SecretStoreError
{
    // Platform status code (never 0).
    qint32 status = -1;
    // The store's own description, free of secret values.
    QString message;
};

class SecretStore
{
public:
    virtual ~SecretStore() = default;
    // Creates the item, or replaces the value of the existing one (never a duplicate).
    virtual Expected<void, SecretStoreError> save(const QString& service, const QString& account,
                                                  const QByteArray& value) = 0;
    // nullopt when there is no such item.
    virtual Expected<std::optional<QByteArray>, SecretStoreError> read(const QString& service,
                                                                       const QString& account) = 0;
    // false when there was no such item.
    virtual Expected<bool, SecretStoreError> remove(const QString& service, const QString& account) = 0;
};
