#pragma once
// Secret Service items through libsecret: one item per (service, account) attribute pair in
// the default collection. Synchronous; callable from any thread.
#include "platform/SecretStore.h"

class LibsecretStore : public SecretStore
{
public:
    // Status reported when the Secret Service cannot be reached or fails.
    static constexpr qint32 kNotAvailable = -25291;

    Expected<void, SecretStoreError> save(const QString& service, const QString& account,
                                          const QByteArray& value) override;
    Expected<std::optional<QByteArray>, SecretStoreError> read(const QString& service,
                                                               const QString& account) override;
    Expected<bool, SecretStoreError> remove(const QString& service, const QString& account) override;
};
