#include "AIProviderSettings.h"

#include "AIModelCatalog.h"

#include <QHash>

namespace {

struct FeatureKeys
{
    SharedDefaultsKey provider;
    SharedDefaultsKey model;
};

FeatureKeys keysOf(AIFeature f)
{
    switch (f) {
    case AIFeature::postprocess:
        return {SharedDefaultsKey::aiPostProcessProviderRaw, SharedDefaultsKey::aiPostProcessModel};
    case AIFeature::notes:
        return {SharedDefaultsKey::aiNotesProviderRaw, SharedDefaultsKey::aiNotesModel};
    case AIFeature::learning:
        return {SharedDefaultsKey::aiLearningProviderRaw, SharedDefaultsKey::aiLearningModel};
    case AIFeature::categorization:
        return {SharedDefaultsKey::aiCategorizationProviderRaw, SharedDefaultsKey::aiCategorizationModel};
    case AIFeature::promptBuilder:
        return {SharedDefaultsKey::aiPromptBuilderProviderRaw, SharedDefaultsKey::aiPromptBuilderModel};
    case AIFeature::modeIcon:
        return {SharedDefaultsKey::aiModeIconProviderRaw, SharedDefaultsKey::aiModeIconModel};
    case AIFeature::selectionTransform:
        return {SharedDefaultsKey::aiSelectionTransformProviderRaw, SharedDefaultsKey::aiSelectionTransformModel};
    }
    return {SharedDefaultsKey::aiPostProcessProviderRaw, SharedDefaultsKey::aiPostProcessModel};
}

std::optional<AIProvider> providerAt(const Settings& s, SharedDefaultsKey key)
{
    const auto raw = s.stringValue(key);
    return raw ? aiProviderFromRaw(*raw) : std::nullopt;
}

QString stringAt(const Settings& s, SharedDefaultsKey key) { return s.stringValue(key).value_or(QString()); }

// A model named for a provider of one's own choosing must be one it offers.
QString listedOrDefault(AIProvider provider, const QString& model)
{
    if (!model.isEmpty() && AIProviderSettings::chatModels(provider).contains(model))
        return model;
    return AIProviderSettings::defaultModel(provider);
}

} // namespace

namespace AIProviderSettings {

SharedDefaultsKey providerKey(AIFeature feature) { return keysOf(feature).provider; }
SharedDefaultsKey modelKey(AIFeature feature) { return keysOf(feature).model; }

QString defaultModel(AIProvider provider)
{
    switch (provider) {
    case AIProvider::claude:
        return QStringLiteral("claude-haiku-4-5");
    case AIProvider::openai:
        return QStringLiteral("gpt-5.4-mini");
    case AIProvider::gemini:
        return QStringLiteral("gemini-2.5-flash");
    case AIProvider::groq:
        return QStringLiteral("openai/gpt-oss-20b");
    case AIProvider::appleIntelligence:
        return QStringLiteral("apple-on-device");
    }
    return QStringLiteral("claude-haiku-4-5");
}

const QStringList& chatModels(AIProvider provider)
{
    static const auto lists = [] {
        QHash<AIProvider, QStringList> out;
        for (AIProvider p : allAIProviders())
            for (const AIModel& m : AIModelCatalog::models(p))
                out[p] << m.id;
        return out;
    }();
    static const QStringList none;
    const auto it = lists.constFind(provider);
    return it == lists.constEnd() ? none : *it;
}

bool hasOwnProvider(AIFeature feature, const Settings& settings)
{
    return providerAt(settings, keysOf(feature).provider).has_value();
}

AIProvider resolvedProvider(AIFeature feature, const Settings& settings)
{
    if (const auto own = providerAt(settings, keysOf(feature).provider))
        return *own;
    return providerAt(settings, SharedDefaultsKey::globalAIProviderRaw).value_or(AIProvider::claude);
}

QString resolvedModel(AIFeature feature, const Settings& settings)
{
    const FeatureKeys keys = keysOf(feature);
    if (const auto own = providerAt(settings, keys.provider))
        return listedOrDefault(*own, stringAt(settings, keys.model));
    // Following the global choice: its model is taken as written.
    const QString global = stringAt(settings, SharedDefaultsKey::globalAIModel);
    if (!global.isEmpty())
        return global;
    return defaultModel(providerAt(settings, SharedDefaultsKey::globalAIProviderRaw).value_or(AIProvider::claude));
}

AIChoice resolved(AIFeature feature, const Settings& settings)
{
    return {resolvedProvider(feature, settings), resolvedModel(feature, settings)};
}

AIChoice forMode(const TranscriptionMode& mode, const Settings& settings)
{
    if (const auto provider = aiProviderFromRaw(mode.aiOverrideProviderRaw.value_or(QString())))
        return {*provider, listedOrDefault(*provider, mode.aiOverrideModel.value_or(QString()))};
    return resolved(AIFeature::postprocess, settings);
}

AIChoice forSelectionTransform(const std::optional<TranscriptionMode>& mode, const Settings& settings)
{
    if (hasOwnProvider(AIFeature::selectionTransform, settings) || !mode)
        return resolved(AIFeature::selectionTransform, settings);
    return forMode(*mode, settings);
}

} // namespace AIProviderSettings
