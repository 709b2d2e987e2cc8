#pragma once
// A Wayland session. X11 grabs and XTest reach only XWayland windows there, so none of them is
// used; each concern gets the compositor's protocols or the desktop portal where the session
// offers them, and otherwise reports itself unavailable (the text stays on the clipboard).
// Each concern is chosen once, here, best first; description() names what serves each.
#include "DesktopPlatform.h"
#include "platform/FloatingPanelSupport.h"
#include "platform/FrontmostApplication.h"
#include "platform/GlobalKeyboard.h"
#include "platform/KeySynthesizer.h"
#include "platform/Pasteboard.h"
#include "platform/linux/atspi/AtspiBrowserAddress.h"
#include "platform/linux/atspi/AtspiConnection.h"
#include "platform/linux/wayland/WaylandConnection.h"
#include "platform/linux/x11/X11Connection.h"

#include <memory>

class DebugLog;
class PortalDesktopServices;
class Settings;
class WaylandSession;

class WaylandDesktopPlatform : public DesktopPlatform
{
public:
    // connection may be null (nobody listening on $WAYLAND_DISPLAY): the compositor's protocols
    // are then missing: keys from the portal or none, the clipboard through Qt, the focused
    // application from AT-SPI.
    WaylandDesktopPlatform(DebugLog& log, Settings& settings,
                           std::unique_ptr<WaylandConnection> connection = WaylandConnection::open());
    ~WaylandDesktopPlatform() override;

    QString description() const override;
    Pasteboard& pasteboard() override { return *m_pasteboard; }
    KeySynthesizer& keys() override;
    FrontmostApplication& frontmost() override { return *m_frontmost; }
    KeyGrabber& grabber() override;
    KeyMonitor& monitor() override { return m_keyboard; }
    SelectionOwner* selectionOwner() override { return nullptr; }
    FloatingPanelSupport& panelSupport() override { return *m_panelSupport; }
    BrowserAddress& browser() override { return m_browser; }
    std::function<void()> shortcutsConfigurator() override;

private:
    struct NoKeys : KeySynthesizer
    {
        bool isTrusted() const override { return false; }
        void post(KeyChord) override {}
    };
    struct NoKeyboard : KeyGrabber, KeyMonitor
    {
        bool isAvailable() const override { return false; }
        Expected<void, QString> grab(const KeyCombo&, std::function<void()>, std::function<void()>) override;
        void ungrab(const KeyCombo&) override {}
        int addKeyDownMonitor(std::function<void(const KeyDownEvent&)>) override { return 0; }
        void removeMonitor(int) override {}
    };

    // First: the services below use it until they are gone.
    std::unique_ptr<WaylandConnection> m_connection;
    std::unique_ptr<WaylandSession> m_session;
    // XWayland, for the clipboard where the compositor has no data-control.
    std::unique_ptr<X11Connection> m_x11;
    std::unique_ptr<Pasteboard> m_pasteboard;
    QString m_pasteboardBy;
    // The compositor's virtual keyboard, or none (then the portal's keyboard where it is granted).
    std::unique_ptr<KeySynthesizer> m_keys;
    QString m_keysBy;
    // The accessibility bus serves the focused application where no compositor protocol tells
    // it, and the browser's address everywhere.
    AtspiConnection m_atspi;
    std::unique_ptr<FrontmostApplication> m_frontmost;
    QString m_frontmostBy;
    NoKeyboard m_keyboard;
    std::unique_ptr<FloatingPanelSupport> m_panelSupport;
    QString m_panelBy;
    AtspiBrowserAddress m_browser;
    // Shortcuts, and keys where the compositor offers none, where the session bus offers the
    // desktop portal.
    std::unique_ptr<PortalDesktopServices> m_portal;
};
