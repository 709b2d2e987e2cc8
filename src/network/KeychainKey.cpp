#include "KeychainKey.h"

QString rawValue(KeychainKey key)
{
    switch (key) {
    case KeychainKey::groqAPIKey:
        return QStringLiteral("mirelo.groq.apikey");
    case KeychainKey::openAIAPIKey:
        return QStringLiteral("mirelo.openai.apikey");
    case KeychainKey::anthropicAPIKey:
        return QStringLiteral("mirelo.anthropic.apikey");
    case KeychainKey::geminiAPIKey:
        return QStringLiteral("mirelo.gemini.apikey");
    case KeychainKey::backupPassword:
        return QStringLiteral("mirelo.backup.password");
    }
    return {};
}

const QList<KeychainKey>& allKeychainKeys()
{
    static const QList<KeychainKey> all{KeychainKey::groqAPIKey, KeychainKey::openAIAPIKey,
                                        KeychainKey::anthropicAPIKey, KeychainKey::geminiAPIKey,
                                        KeychainKey::backupPassword};
    return all;
}

std::optional<KeychainKey> keychainKeyFromRaw(const QString& raw)
{
    for (KeychainKey k : allKeychainKeys())
        if (rawValue(k) == raw)
            return k;
    return std::nullopt;
}

std::optional<KeychainKey> keychainKey(AIProvider provider)
{
    switch (provider) {
    case AIProvider::claude:
        return KeychainKey::anthropicAPIKey;
    case AIProvider::openai:
        return KeychainKey::openAIAPIKey;
    case AIProvider::gemini:
        return KeychainKey::geminiAPIKey;
    case AIProvider::groq:
        return KeychainKey::groqAPIKey;
    case AIProvider::appleIntelligence:
        return std::nullopt;
    }
    return std::nullopt;
}
