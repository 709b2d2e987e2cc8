#include "MacPrimaryShortcutMode.h"

namespace PrimaryShortcutMode {

QString rawValue(MacPrimaryShortcutMode mode)
{
    switch (mode) {
    case MacPrimaryShortcutMode::toggle:
        return QStringLiteral("toggle");
    case MacPrimaryShortcutMode::pushToTalk:
        return QStringLiteral("pushToTalk");
    case MacPrimaryShortcutMode::hybrid:
        return QStringLiteral("hybrid");
    }
    return QStringLiteral("toggle");
}

QString label(MacPrimaryShortcutMode mode)
{
    switch (mode) {
    case MacPrimaryShortcutMode::toggle:
        return QStringLiteral("Basculer (appuyer = démarrer/arrêter)");
    case MacPrimaryShortcutMode::pushToTalk:
        return QStringLiteral("Appuyer-pour-parler (maintenir)");
    case MacPrimaryShortcutMode::hybrid:
        return QStringLiteral("Hybride (bref = basculer, maintenu = parler)");
    }
    return {};
}

MacPrimaryShortcutMode fromRaw(const QString& raw)
{
    for (auto m : {MacPrimaryShortcutMode::pushToTalk, MacPrimaryShortcutMode::hybrid})
        if (raw == rawValue(m))
            return m;
    return MacPrimaryShortcutMode::toggle;
}

} // namespace PrimaryShortcutMode
