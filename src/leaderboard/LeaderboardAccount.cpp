#include "LeaderboardAccount.h"

#include "platform/SecretStore.h"
#include "store/AppSettingsKeys.h"
#include "store/Settings.h"

#include <QCoroFuture>
#include <QtConcurrent/QtConcurrentRun>

std::optional<CouchDBLocation> LeaderboardAccount::location() const
{
    const auto url = m_settings.stringValue(AppSettingsKey::leaderboardURL);
    if (!url || url->trimmed().isEmpty())
        return std::nullopt;
    return CouchDBLocation::parse(*url);
}

std::optional<QString> LeaderboardAccount::userName() const
{
    const auto name = m_settings.stringValue(AppSettingsKey::leaderboardUser);
    if (!name || name->isEmpty())
        return std::nullopt;
    return name;
}

QCoro::Task<std::optional<CouchDBCredentials>> LeaderboardAccount::credentials() const
{
    const auto name = userName();
    if (!name)
        co_return std::nullopt;
    SecretStore* secrets = &m_secrets;
    const QString account = *name;
    QFuture<std::optional<QByteArray>> reading = QtConcurrent::run([secrets, account]() -> std::optional<QByteArray> {
        auto value = secrets->read(QString::fromLatin1(kSecretService), account);
        return value ? *value : std::nullopt;
    });
    const std::optional<QByteArray> password = co_await reading;
    if (!password)
        co_return std::nullopt;
    co_return CouchDBCredentials{account, QString::fromUtf8(*password)};
}

Expected<void, QString> LeaderboardAccount::save(const CouchDBCredentials& credentials)
{
    const auto previous = userName();
    auto saved = m_secrets.save(QString::fromLatin1(kSecretService), credentials.name, credentials.password.toUtf8());
    if (!saved)
        return unexpected(saved.error().message);
    if (previous && *previous != credentials.name)
        (void)m_secrets.remove(QString::fromLatin1(kSecretService), *previous);
    m_settings.setValue(AppSettingsKey::leaderboardUser, credentials.name);
    m_settings.sync();
    return {};
}

void LeaderboardAccount::forget()
{
    if (const auto name = userName())
        (void)m_secrets.remove(QString::fromLatin1(kSecretService), *name);
    m_settings.remove(AppSettingsKey::leaderboardUser);
    m_settings.sync();
}
