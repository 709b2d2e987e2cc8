#pragma once
// Which AI provider and model each feature uses: its own pair from the settings when it has a
// valid provider, otherwise the global pair, otherwise Anthropic's default model.
#include "store/Enums.h"
#include "store/Records.h"
#include "store/Settings.h"

#include <QString>

enum class AIFeature { postprocess, notes, learning, categorization, promptBuilder, modeIcon, selectionTransform };

struct AIChoice
{
    AIProvider provider = AIProvider::claude;
    QString model;
    friend bool operator==(const AIChoice&, const AIChoice&) = default;
};

namespace AIProviderSettings {

QString defaultModel(AIProvider provider);
// The chat models offered for a provider, in menu order.
const QStringList& chatModels(AIProvider provider);

AIProvider resolvedProvider(AIFeature feature, const Settings& settings);
QString resolvedModel(AIFeature feature, const Settings& settings);
AIChoice resolved(AIFeature feature, const Settings& settings);

// The settings keys of the feature's own provider and model.
SharedDefaultsKey providerKey(AIFeature feature);
SharedDefaultsKey modelKey(AIFeature feature);
// True when the feature has a valid provider of its own (not following the global choice).
bool hasOwnProvider(AIFeature feature, const Settings& settings);

// The pair a mode rewrites with: its own override when it names a valid provider, otherwise
// the dictation-rewrite feature's pair.
AIChoice forMode(const TranscriptionMode& mode, const Settings& settings);

// Selected-text transformation: the feature's own pair when set, otherwise the mode's.
AIChoice forSelectionTransform(const std::optional<TranscriptionMode>& mode, const Settings& settings);

} // namespace AIProviderSettings
