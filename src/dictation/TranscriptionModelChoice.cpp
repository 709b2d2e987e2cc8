#include "TranscriptionModelChoice.h"

#include "ai/CloudProviderCatalog.h"
#include "transcription/FallbackTranscriptionModel.h"
#include "transcription/TranscriptionManager.h"

namespace TranscriptionModelChoice {

QStringList offered(TranscriptionProvider provider)
{
    switch (provider) {
    case TranscriptionProvider::groq:
    case TranscriptionProvider::openai:
    case TranscriptionProvider::gemini:
        if (const auto info = CloudProviderCatalog::find(rawValue(provider)))
            return info->transcriptionModels;
        return {};
    case TranscriptionProvider::whisperKit:
    case TranscriptionProvider::parakeet:
        return FallbackTranscriptionModel::localModelIDs(provider);
    case TranscriptionProvider::apple:
        return {};
    }
    return {};
}

Expected<QString, QString> modelFor(TranscriptionProvider provider, const std::optional<QString>& asked,
                                    const QString& current)
{
    const QStringList models = offered(provider);
    const QString name = TranscriptionManager::shortName(provider);
    if (models.isEmpty()) {
        if (asked && !asked->isEmpty())
            return unexpected(QStringLiteral("%1 ne propose pas de choix de modèle.").arg(name));
        return QString();
    }
    if (!asked)
        return models.contains(current) ? current : models.first();
    if (models.contains(*asked))
        return *asked;
    return unexpected(QStringLiteral("Le modèle « %1 » n'est pas proposé par %2. Modèles proposés : %3.")
                          .arg(*asked, name, models.join(QStringLiteral(", "))));
}

} // namespace TranscriptionModelChoice
