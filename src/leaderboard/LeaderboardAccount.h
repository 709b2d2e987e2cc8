#pragma once
// Where the leaderboard lives and who the user is there: the database address and account name
// in the settings, the password in the secret store (read off the main thread: a locked keyring
// may wait for its unlock prompt).
#include "CouchDBClient.h"
#include "store/Expected.h"

#include <QCoroTask>
#include <QString>
#include <optional>

class SecretStore;
class Settings;

class LeaderboardAccount
{
public:
    static constexpr const char* kSecretService = "app.ovra.desktop.leaderboard";

    LeaderboardAccount(Settings& settings, SecretStore& secrets) : m_settings(settings), m_secrets(secrets) {}

    // None when the address is absent or not a database URL.
    std::optional<CouchDBLocation> location() const;
    // The account name signed in, without asking the secret store.
    std::optional<QString> userName() const;
    // None when nobody signed in, or the password is gone from the secret store.
    QCoro::Task<std::optional<CouchDBCredentials>> credentials() const;
    // The secret store's own message when it refuses.
    Expected<void, QString> save(const CouchDBCredentials& credentials);
    void forget();

private:
    Settings& m_settings;
    SecretStore& m_secrets;
};
