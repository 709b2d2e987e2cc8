#pragma once
// Generic-password items of this application (service + account) in the desktop's secret
// store. Synchronous; callable from any thread.
#include "network/KeychainKey.h"
#include "platform/SecretStore.h"
#include "store/Expected.h"

#include <QByteArray>
#include <optional>

struct KeychainError
{
    enum class Kind { saveFailed, readFailed };
    Kind kind = Kind::readFailed;
    qint32 status = 0;
    // The store's own description (never a secret).
    QString detail;

    QString message() const;
};

class KeychainManager
{
public:
    static constexpr qint32 kSuccess = 0;
    static constexpr qint32 kItemNotFound = -25300;
    static constexpr const char* kDefaultService = "app.ovra.desktop.keychain";

    explicit KeychainManager(SecretStore& store, QString service = QString::fromLatin1(kDefaultService));

    const QString& service() const { return m_service; }

    Expected<void, KeychainError> save(const QByteArray& value, KeychainKey key);
    Expected<void, KeychainError> save(const QByteArray& value, const QString& account);
    // nothing when the item does not exist.
    Expected<std::optional<QByteArray>, KeychainError> read(KeychainKey key);
    // Never fails: any failure yields nothing.
    std::optional<QByteArray> read(const QString& account);
    // kSuccess, kItemNotFound or the store's failure status.
    qint32 remove(const QString& account);

private:
    SecretStore& m_store;
    QString m_service;
};
