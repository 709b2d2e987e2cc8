#pragma once
// Keys of the desktop program's own settings domain.
#include <QLatin1String>

namespace AppSettingsKey {
inline constexpr QLatin1String appIcon("ovra.mac.appIcon");
inline constexpr QLatin1String defaultModeID("ovra.mac.defaultModeID");
inline constexpr QLatin1String powerModeEnabled("ovra.mac.powerModeEnabled");
inline constexpr QLatin1String modeTriggers("ovra.mac.modeTriggers");
inline constexpr QLatin1String urlModeTriggers("ovra.mac.urlModeTriggers");
inline constexpr QLatin1String autoSendEnter("ovra.mac.autoSendEnter");
inline constexpr QLatin1String inputDeviceID("ovra.mac.inputDeviceID");
inline constexpr QLatin1String pauseMedia("ovra.mac.pauseMedia");
inline constexpr QLatin1String hudStyle("ovra.mac.hudStyle");
inline constexpr QLatin1String primaryShortcutMode("ovra.mac.primaryShortcutMode");
inline constexpr QLatin1String sounds("ovra.mac.sounds");
inline constexpr QLatin1String helperEnabled("ovra.mac.helper.enabled");
inline constexpr QLatin1String helperAutoPaste("ovra.mac.helper.autoPaste");
inline constexpr QLatin1String helperID("ovra.mac.helper.id");
inline constexpr QLatin1String helperPhones("ovra.mac.helper.phones");
// Linux only: a fixed port for the phone receiver (firewall rules); absent or 0 = any free port.
inline constexpr QLatin1String helperPort("ovra.mac.helper.port");
inline constexpr QLatin1String appLanguageChoice("mirelo.appLanguageChoice");
// Linux only: the folder the user's cloud client synchronises.
inline constexpr QLatin1String cloudFolder("ovra.mac.cloudFolder");
// Linux only: the user's key combination per shortcut name ("" = none).
inline constexpr QLatin1String shortcuts("ovra.mac.shortcuts");
// Linux only: the local OpenAI-compatible server that stands for the on-device model, and the
// model it should use (empty = not enabled).
inline constexpr QLatin1String localModelURL("ovra.mac.localModelURL");
inline constexpr QLatin1String localModel("ovra.mac.localModel");
// Linux only: the notes' assistant panel stays open across launches.
inline constexpr QLatin1String notesAssistantVisible("ovra.mac.notes.assistantVisible");
// Linux only: the leaderboard's CouchDB database ("https://host/database"; absent = off) and
// the account signed in to it (its password lives in the secret store).
inline constexpr QLatin1String leaderboardURL("ovra.mac.leaderboardURL");
inline constexpr QLatin1String leaderboardUser("ovra.mac.leaderboardUser");
// Linux only: the desktop portal's token for the keyboard grant the user gave, handed back at
// the next start so the portal does not ask again (absent = ask).
inline constexpr QLatin1String remoteDesktopRestoreToken("ovra.mac.remoteDesktopRestoreToken");

// Owned by other subsystems, kept in the own domain.
inline constexpr QLatin1String offlineQueue("mirelo.offlineQueue");
inline constexpr QLatin1String leaderboardCachedSnapshot("mirelo.leaderboard.cachedSnapshot");
inline constexpr QLatin1String widgetLayouts("mirelo.widget.layouts");
inline constexpr QLatin1String widgetLayoutsUpdatedAt("mirelo.widget.layoutsUpdatedAt");
inline constexpr QLatin1String widgetStatsSnapshot("mirelo.widget.statsSnapshot");
inline constexpr QLatin1String transformStatDedup("ovra.transformStatDedup.v1");
inline constexpr QLatin1String syncDigest("mirelo.sync.digest");
inline constexpr QLatin1String syncVersion("mirelo.sync.version");
inline constexpr QLatin1String syncDeviceID("mirelo.sync.deviceID");
} // namespace AppSettingsKey
