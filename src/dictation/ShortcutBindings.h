#pragma once
// The named global shortcuts and the key combination of each: the user's choice, kept in the
// settings, else the name's default. Used by the shortcut registry and the command line.
#include "platform/KeyCombo.h"
#include "store/Expected.h"

#include <QStringList>
#include <QUuid>
#include <optional>

class Settings;

namespace ShortcutName {
inline const QString toggleDictation = QStringLiteral("toggleDictation");
inline const QString pushToTalk = QStringLiteral("pushToTalk");
inline const QString transformSelection = QStringLiteral("transformSelection");
inline const QString modePrefix = QStringLiteral("powerMode-");

inline QString forMode(const QUuid& id) { return modePrefix + id.toString(QUuid::WithoutBraces).toUpper(); }
// The mode a "powerMode-<UUID>" name designates; none for the other names.
std::optional<QUuid> modeOf(const QString& name);
// The three fixed names, in registration order.
QStringList fixedNames();
} // namespace ShortcutName

class ShortcutBindings
{
public:
    explicit ShortcutBindings(Settings& settings) : m_settings(settings) {}

    // Alt+Super+D for "toggleDictation", Alt+Super+T for "transformSelection", none otherwise.
    static std::optional<KeyCombo> defaultCombination(const QString& name);
    static bool isKnownName(const QString& name);

    std::optional<KeyCombo> combination(const QString& name) const;
    // combo none: the shortcut has no combination (even when it has a default). Error: the
    // name is unknown or the combination already belongs to another name.
    Expected<void, QString> set(const QString& name, const std::optional<KeyCombo>& combo,
                                const QStringList& otherNames = {});

private:
    Settings& m_settings;
};
