#pragma once
// The names under which API keys and the key-backup password are stored; the raw value is
// the item's account name.
#include "store/Enums.h"

#include <QList>
#include <QString>
#include <optional>

enum class KeychainKey { groqAPIKey, openAIAPIKey, anthropicAPIKey, geminiAPIKey, backupPassword };

QString rawValue(KeychainKey key);
std::optional<KeychainKey> keychainKeyFromRaw(const QString& raw);
// All five, in declaration order.
const QList<KeychainKey>& allKeychainKeys();
// The key an AI provider's calls use; appleIntelligence has none.
std::optional<KeychainKey> keychainKey(AIProvider provider);

inline size_t qHash(KeychainKey key, size_t seed = 0) noexcept { return ::qHash(int(key), seed); }
