#pragma once
// The key bindings a user adds to a compositor that offers no global shortcuts (sway and the
// other wlroots compositors): its own bindsym lines running `ovra toggle`, `ovra ptt` (with
// --release for the key-up) and `ovra transform`, on the user's combinations where set.
#include "platform/KeyCombo.h"

#include <QStringList>
#include <functional>
#include <optional>

namespace CompositorBindings {
using Combination = std::function<std::optional<KeyCombo>(const QString& shortcutName)>;
// "Mod1+Mod4+d": sway's modifier names and the keysym (sway reads X keysym names too).
QString swayCombo(const KeyCombo& combo);
QStringList swayLines(const Combination& combination);
} // namespace CompositorBindings
