#pragma once
// A Wayland session. X11 grabs and XTest reach only XWayland windows there, so none of them is
// used; each concern gets the compositor's protocols or the desktop portal where the session
// offers them, and otherwise reports itself unavailable (the text stays on the clipboard).
#include "DesktopPlatform.h"
#include "platform/FloatingPanelSupport.h"
#include "platform/FrontmostApplication.h"
#include "platform/GlobalKeyboard.h"
#include "platform/KeySynthesizer.h"
#include "platform/linux/clipboard/QtPasteboard.h"
#include "platform/linux/atspi/AtspiBrowserAddress.h"
#include "platform/linux/atspi/AtspiConnection.h"
#include "platform/linux/atspi/AtspiFrontmostApplication.h"

#include <memory>

class DebugLog;
class PortalDesktopServices;
class Settings;

class WaylandDesktopPlatform : public DesktopPlatform
{
public:
    WaylandDesktopPlatform(DebugLog& log, Settings& settings);
    ~WaylandDesktopPlatform() override;

    QString description() const override;
    Pasteboard& pasteboard() override { return m_pasteboard; }
    KeySynthesizer& keys() override;
    FrontmostApplication& frontmost() override { return m_frontmost; }
    KeyGrabber& grabber() override;
    KeyMonitor& monitor() override { return m_keyboard; }
    SelectionOwner* selectionOwner() override { return nullptr; }
    FloatingPanelSupport& panelSupport() override { return m_panelSupport; }
    BrowserAddress& browser() override { return m_browser; }

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

    QtPasteboard m_pasteboard;
    NoKeys m_keys;
    // The accessibility bus serves the focused application where no compositor protocol tells it.
    AtspiConnection m_atspi;
    AtspiFrontmostApplication m_frontmost;
    NoKeyboard m_keyboard;
    NoFloatingPanelSupport m_panelSupport;
    AtspiBrowserAddress m_browser;
    // Shortcuts and keys where the session bus offers the desktop portal.
    std::unique_ptr<PortalDesktopServices> m_portal;
};
