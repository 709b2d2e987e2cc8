#pragma once
// The cloud providers a user can hold an API key for: names, icon, key name, where to get a
// key, and their speech-to-text and chat models (first = default).
#include "network/KeychainKey.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <optional>

struct CloudProviderInfo
{
    QString id;
    QString displayName;
    QString icon;
    KeychainKey keychainKey = KeychainKey::groqAPIKey;
    QUrl consoleURL;
    QStringList transcriptionModels;
    QStringList aiModels;

    bool operator==(const CloudProviderInfo& o) const { return id == o.id; }
};

inline size_t qHash(const CloudProviderInfo& p, size_t seed = 0) noexcept { return qHash(p.id, seed); }

namespace CloudProviderCatalog {

// groq, openai, anthropic, gemini — in this order.
const QList<CloudProviderInfo>& all();
std::optional<CloudProviderInfo> find(const QString& id);

} // namespace CloudProviderCatalog
