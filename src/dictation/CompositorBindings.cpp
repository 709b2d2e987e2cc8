#include "CompositorBindings.h"

#include "ShortcutBindings.h"

namespace CompositorBindings {

QString swayCombo(const KeyCombo& combo)
{
    QStringList parts;
    if (combo.modifiers & KeyCombo::control)
        parts << QStringLiteral("Ctrl");
    if (combo.modifiers & KeyCombo::shift)
        parts << QStringLiteral("Shift");
    if (combo.modifiers & KeyCombo::alt)
        parts << QStringLiteral("Mod1");
    if (combo.modifiers & KeyCombo::super)
        parts << QStringLiteral("Mod4");
    parts << combo.key;
    return parts.join(QLatin1Char('+'));
}

QStringList swayLines(const Combination& combination)
{
    // A shortcut without a combination gets a free one on sway's $mod to start from.
    const auto keys = [&](const QString& name, const char* suggestion) {
        const auto combo = combination(name);
        return combo && combo->isValid() ? swayCombo(*combo) : QString::fromLatin1(suggestion);
    };
    const QString toggle = keys(ShortcutName::toggleDictation, "$mod+Mod1+d");
    const QString ptt = keys(ShortcutName::pushToTalk, "$mod+Mod1+space");
    const QString transform = keys(ShortcutName::transformSelection, "$mod+Mod1+t");
    return {QStringLiteral("bindsym %1 exec ovra toggle").arg(toggle),
            QStringLiteral("bindsym %1 exec ovra ptt press").arg(ptt),
            QStringLiteral("bindsym --release %1 exec ovra ptt release").arg(ptt),
            QStringLiteral("bindsym %1 exec ovra transform").arg(transform)};
}

} // namespace CompositorBindings
