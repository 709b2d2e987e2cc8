#pragma once
// What the desktop portal serves in a Wayland session (GNOME, KDE, Hyprland): the global
// shortcuts where the session bus offers GlobalShortcuts, the paste chord where it offers
// RemoteDesktop and nothing better types keys. The keyboard grant's restore token lives in the
// settings so the user approves once.
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class DebugLog;
class KeyGrabber;
class KeySynthesizer;
class PortalGlobalShortcuts;
class RemoteDesktopKeySynthesizer;
class Settings;

class PortalDesktopServices
{
public:
    // wantKeys: false when the compositor types keys itself (virtual-keyboard protocol).
    PortalDesktopServices(DebugLog& log, Settings& settings, bool wantKeys);
    ~PortalDesktopServices();

    // Null when the session offers no such portal.
    KeyGrabber* shortcuts();
    KeySynthesizer* keys();
    // Opens the desktop's own dialog for our shortcuts; empty when no portal serves them.
    std::function<void()> shortcutsConfigurator();

    // For the session's description: which component serves shortcuts and keys, and how it fares.
    QString shortcutsStatus() const;
    QString keysStatus() const;

private:
    std::unique_ptr<PortalGlobalShortcuts> m_shortcuts;
    std::unique_ptr<QObject> m_localKeys;
    std::unique_ptr<RemoteDesktopKeySynthesizer> m_keys;
    uint m_shortcutsVersion = 0;
    uint m_keysVersion = 0;
};
