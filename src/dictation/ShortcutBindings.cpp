#include "ShortcutBindings.h"

#include "store/AppSettingsKeys.h"
#include "store/Settings.h"

namespace ShortcutName {

std::optional<QUuid> modeOf(const QString& name)
{
    if (!name.startsWith(modePrefix))
        return std::nullopt;
    const QUuid id(QStringView(name).mid(modePrefix.size()));
    return id.isNull() ? std::nullopt : std::optional<QUuid>(id);
}

QStringList fixedNames() { return {toggleDictation, transformSelection, pushToTalk}; }

} // namespace ShortcutName

std::optional<KeyCombo> ShortcutBindings::defaultCombination(const QString& name)
{
    if (name == ShortcutName::toggleDictation)
        return KeyCombo{QStringLiteral("d"), KeyCombo::alt | KeyCombo::super};
    if (name == ShortcutName::transformSelection)
        return KeyCombo{QStringLiteral("t"), KeyCombo::alt | KeyCombo::super};
    return std::nullopt;
}

bool ShortcutBindings::isKnownName(const QString& name)
{
    return ShortcutName::fixedNames().contains(name) || ShortcutName::modeOf(name).has_value();
}

std::optional<KeyCombo> ShortcutBindings::combination(const QString& name) const
{
    const QVariantMap saved = m_settings.map(AppSettingsKey::shortcuts);
    if (!saved.contains(name))
        return defaultCombination(name);
    const auto combo = KeyCombo::parse(saved.value(name).toString());
    return combo ? std::optional<KeyCombo>(*combo) : std::nullopt;
}

Expected<void, QString> ShortcutBindings::set(const QString& name, const std::optional<KeyCombo>& combo,
                                              const QStringList& otherNames)
{
    if (!isKnownName(name))
        return unexpected(QStringLiteral("Raccourci inconnu : ") + name);
    if (combo) {
        QStringList names = ShortcutName::fixedNames() + otherNames;
        for (const QString& other : names) {
            if (other != name && combination(other) == combo)
                return unexpected(QStringLiteral("La combinaison ") + combo->displayText() +
                                  QStringLiteral(" sert déjà au raccourci ") + other + QStringLiteral("."));
        }
    }
    QVariantMap saved = m_settings.map(AppSettingsKey::shortcuts);
    saved.insert(name, combo ? combo->toString() : QString());
    m_settings.setValue(AppSettingsKey::shortcuts, saved);
    return {};
}
