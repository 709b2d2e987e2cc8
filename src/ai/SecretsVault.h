#pragma once
// Which API keys the secret store holds (observable), saving new ones, and the list of usable
// AI models published in the shared settings for companion components.
#include "KeychainManager.h"

#include <QCoroTask>
#include <QHash>
#include <QObject>
#include <QSet>

class Notifications;
class Settings;

class SecretsVault : public QObject
{
    Q_OBJECT
public:
    static constexpr const char* kAIModelsKey = "mirelo.kb.aiModels";

    SecretsVault(KeychainManager& keychain, Settings& settings, Notifications& notifications,
                 QObject* parent = nullptr);

    // The keys for which the store holds an item (even an empty one). Empty until start() ends.
    const QSet<KeychainKey>& savedKeys() const { return m_savedKeys; }
    // The key's text; nothing when absent, unreadable, not UTF-8 or empty. Blocks while the
    // store answers: for the command line only.
    std::optional<QString> apiKey(KeychainKey key) const;
    // The same, read off the main thread: a locked keyring keeps the read waiting on its unlock
    // prompt, and the program must go on meanwhile.
    QCoro::Task<std::optional<QString>> readAPIKey(KeychainKey key) const;

    // The first scan of the store, off the main thread; publishes here.
    QCoro::Task<> start();
    // value is already trimmed by the caller. On failure nothing changes.
    Expected<void, KeychainError> save(const QString& value, KeychainKey key);
    void refresh();

    // The "mirelo.kb.aiModels" document for the given key texts (providers without a key left out).
    static QByteArray aiModelsDocument(const QHash<KeychainKey, QString>& keys);

Q_SIGNALS:
    void savedKeysChanged();

private:
    struct Snapshot
    {
        QSet<KeychainKey> present;
        QHash<KeychainKey, QString> texts; // non-empty API key texts
    };
    static Snapshot scan(KeychainManager& keychain);
    void publish(const Snapshot& snapshot);
    void setSavedKeys(const QSet<KeychainKey>& keys);
    void mirror(const QHash<KeychainKey, QString>& texts);

    KeychainManager& m_keychain;
    Settings& m_settings;
    QSet<KeychainKey> m_savedKeys;
};
