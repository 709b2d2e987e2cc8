#pragma once
// The chat models offered for each AI provider with their display names (identifiers and order
// as AIProviderSettings::chatModels).
#include "store/Enums.h"

#include <QList>
#include <QString>

struct AIModel
{
    QString id;
    QString name;
};

namespace AIModelCatalog {

// In the order offered; the same identifiers as the provider catalogue's chat lists.
const QList<AIModel>& models(AIProvider provider);
// "Anthropic", "OpenAI", "Google Gemini", "Groq", "Modèle local".
QString providerDisplayName(AIProvider provider);
// The model's display name; an unknown identifier is shown as it is.
QString modelDisplayName(const QString& modelID);

} // namespace AIModelCatalog
