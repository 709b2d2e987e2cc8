#include "SecretsVault.h"

#include "AIModelCatalog.h"
#include "store/Notifications.h"
#include "store/Settings.h"

#include <QCoroFuture>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QStringDecoder>
#include <QtConcurrent/QtConcurrentRun>

namespace {

std::optional<QString> decodeKey(const std::optional<QByteArray>& bytes)
{
    if (!bytes || bytes->isEmpty())
        return std::nullopt;
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(*bytes);
    if (utf8.hasError() || text.isEmpty())
        return std::nullopt;
    return text;
}

// Mirror keys once written by earlier versions; removed on every mirror (see mirror()).
const QList<QPair<KeychainKey, QString>>& keyMirrors()
{
    static const QList<QPair<KeychainKey, QString>> pairs{
        {KeychainKey::groqAPIKey, QStringLiteral("mirelo.kb.groqKey")},
        {KeychainKey::anthropicAPIKey, QStringLiteral("mirelo.kb.anthropicKey")},
        {KeychainKey::openAIAPIKey, QStringLiteral("mirelo.kb.openaiKey")},
        {KeychainKey::geminiAPIKey, QStringLiteral("mirelo.kb.geminiKey")},
    };
    return pairs;
}

} // namespace

SecretsVault::SecretsVault(KeychainManager& keychain, Settings& settings, Notifications& notifications,
                           QObject* parent)
    : QObject(parent), m_keychain(keychain), m_settings(settings)
{
    connect(&notifications, &Notifications::secretsKeysRestored, this, &SecretsVault::refresh);
}

namespace {
std::optional<QString> readKey(KeychainManager& keychain, KeychainKey key)
{
    const auto bytes = keychain.read(key);
    if (!bytes)
        return std::nullopt;
    return decodeKey(bytes.value());
}
} // namespace

std::optional<QString> SecretsVault::apiKey(KeychainKey key) const { return readKey(m_keychain, key); }

QCoro::Task<std::optional<QString>> SecretsVault::readAPIKey(KeychainKey key) const
{
    KeychainManager* keychain = &m_keychain;
    QFuture<std::optional<QString>> reading = QtConcurrent::run([keychain, key] { return readKey(*keychain, key); });
    std::optional<QString> text = co_await reading;
    co_return text;
}

SecretsVault::Snapshot SecretsVault::scan(KeychainManager& keychain)
{
    Snapshot s;
    for (KeychainKey key : allKeychainKeys()) {
        const auto bytes = keychain.read(key);
        // A read failure counts as a missing key.
        if (!bytes || !bytes.value())
            continue;
        s.present.insert(key);
        if (key == KeychainKey::backupPassword)
            continue;
        if (auto text = decodeKey(bytes.value()))
            s.texts.insert(key, *text);
    }
    return s;
}

QCoro::Task<> SecretsVault::start()
{
    QPointer<SecretsVault> self(this);
    KeychainManager* keychain = &m_keychain;
    // A named future: GCC 12 mishandles temporaries inside a co_await expression.
    QFuture<Snapshot> scanning = QtConcurrent::run([keychain] { return scan(*keychain); });
    const Snapshot snapshot = co_await scanning;
    if (self)
        self->publish(snapshot);
}

void SecretsVault::refresh() { publish(scan(m_keychain)); }

void SecretsVault::publish(const Snapshot& snapshot)
{
    setSavedKeys(snapshot.present);
    mirror(snapshot.texts);
}

void SecretsVault::setSavedKeys(const QSet<KeychainKey>& keys)
{
    if (keys == m_savedKeys)
        return;
    m_savedKeys = keys;
    Q_EMIT savedKeysChanged();
}

Expected<void, KeychainError> SecretsVault::save(const QString& value, KeychainKey key)
{
    const auto saved = m_keychain.save(value.toUtf8(), key);
    if (!saved)
        return saved;
    QSet<KeychainKey> keys = m_savedKeys;
    keys.insert(key);
    setSavedKeys(keys);
    mirror(scan(m_keychain).texts);
    return {};
}

void SecretsVault::mirror(const QHash<KeychainKey, QString>& texts)
{
    // API keys stay in the secret store only: no companion on this desktop reads a copy, so
    // the shared settings never receive them in clear, and copies left there are removed.
    for (const auto& [key, settingsKey] : keyMirrors())
        if (m_settings.contains(settingsKey))
            m_settings.remove(settingsKey);
    m_settings.setValue(QString::fromLatin1(kAIModelsKey), aiModelsDocument(texts));
}

QByteArray SecretsVault::aiModelsDocument(const QHash<KeychainKey, QString>& keys)
{
    static const QList<std::tuple<KeychainKey, AIProvider, QString>> providers{
        {KeychainKey::anthropicAPIKey, AIProvider::claude, QStringLiteral("Anthropic")},
        {KeychainKey::openAIAPIKey, AIProvider::openai, QStringLiteral("OpenAI")},
        {KeychainKey::geminiAPIKey, AIProvider::gemini, QStringLiteral("Google")},
        {KeychainKey::groqAPIKey, AIProvider::groq, QStringLiteral("Groq")},
    };
    QJsonArray entries;
    for (const auto& [key, provider, name] : providers) {
        if (keys.value(key).isEmpty())
            continue;
        QJsonArray models;
        for (const AIModel& m : AIModelCatalog::models(provider))
            models.append(QJsonObject{{QStringLiteral("id"), m.id}, {QStringLiteral("name"), m.name}});
        entries.append(QJsonObject{
            {QStringLiteral("id"), rawValue(provider)}, {QStringLiteral("name"), name}, {QStringLiteral("models"), models}});
    }
    return QJsonDocument(entries).toJson(QJsonDocument::Compact);
}
