#include "CliVocabulary.h"

#include "ai/CloudProviderCatalog.h"
#include "store/Enums.h"

namespace {

// Position in the key list; the chat provider named "claude" is Anthropic's.
qsizetype rank(const QString& raw)
{
    const QStringList keys = CliVocabulary::keyProviders();
    const qsizetype i = keys.indexOf(raw == QLatin1String("claude") ? QStringLiteral("anthropic") : raw);
    return i < 0 ? keys.size() : i;
}

template <typename Provider>
QStringList ordered(const QList<Provider>& providers)
{
    QStringList names;
    for (Provider p : providers)
        names << rawValue(p);
    std::stable_sort(names.begin(), names.end(), [](const QString& a, const QString& b) { return rank(a) < rank(b); });
    return names;
}

} // namespace

namespace CliVocabulary {

QStringList keyProviders()
{
    QStringList ids;
    for (const CloudProviderInfo& p : CloudProviderCatalog::all())
        ids << p.id;
    return ids;
}

QStringList transcriptionProviders() { return ordered(allTranscriptionProviders()); }

QStringList aiProviders() { return ordered(allAIProviders()); }

QString listed(const QStringList& names) { return names.join(QStringLiteral(", ")); }

} // namespace CliVocabulary
