#pragma once
// What the desktop session offers the dictation: shortcuts, synthetic keys, the clipboard, the
// focused application, the panel's placement. One implementation per session kind (X11,
// Wayland), chosen once at start-up.
#include <QString>
#include <functional>
#include <memory>

class BrowserAddress;
class DebugLog;
class FloatingPanelSupport;
class FrontmostApplication;
class KeyGrabber;
class KeyMonitor;
class KeySynthesizer;
class Pasteboard;
class SelectionOwner;
class Settings;

class DesktopPlatform
{
public:
    virtual ~DesktopPlatform() = default;

    // Which component serves each concern, for the journal and the settings section.
    virtual QString description() const = 0;

    virtual Pasteboard& pasteboard() = 0;
    virtual KeySynthesizer& keys() = 0;
    virtual FrontmostApplication& frontmost() = 0;
    virtual KeyGrabber& grabber() = 0;
    virtual KeyMonitor& monitor() = 0;
    // None where the owner of the selection cannot be known.
    virtual SelectionOwner* selectionOwner() = 0;
    virtual FloatingPanelSupport& panelSupport() = 0;
    virtual BrowserAddress& browser() = 0;
    // Opens the desktop's own settings for our global shortcuts where the desktop, not we, owns
    // the keys; empty elsewhere.
    virtual std::function<void()> shortcutsConfigurator() { return {}; }

    // The session this process runs in: Wayland when a compositor is announced, X11 otherwise.
    // Never null: what the session lacks reports itself unavailable.
    // settings keeps what the desktop granted (the portal's keyboard grant).
    static std::unique_ptr<DesktopPlatform> forSession(DebugLog& log, Settings& settings);
};
