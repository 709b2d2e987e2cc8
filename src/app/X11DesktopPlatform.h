#pragma once
// An X11 session: Xlib grabs and XTest, the X selections, _NET_ACTIVE_WINDOW; browser addresses
// from the accessibility bus.
#include "DesktopPlatform.h"
#include "platform/linux/atspi/AtspiBrowserAddress.h"
#include "platform/linux/atspi/AtspiConnection.h"
#include "platform/linux/clipboard/QtPasteboard.h"
#include "platform/linux/x11/X11Connection.h"
#include "platform/linux/x11/X11FloatingPanelSupport.h"
#include "platform/linux/x11/X11FrontmostApplication.h"
#include "platform/linux/x11/X11KeySynthesizer.h"
#include "platform/linux/x11/X11Keyboard.h"
#include "platform/linux/x11/X11SelectionOwner.h"

class X11DesktopPlatform : public DesktopPlatform
{
public:
    // connection may be null (no X server): everything but the clipboard is then unavailable.
    explicit X11DesktopPlatform(std::unique_ptr<X11Connection> connection);

    QString description() const override;
    Pasteboard& pasteboard() override { return m_pasteboard; }
    KeySynthesizer& keys() override { return m_keys; }
    FrontmostApplication& frontmost() override { return m_frontmost; }
    KeyGrabber& grabber() override { return m_keyboard; }
    KeyMonitor& monitor() override { return m_keyboard; }
    SelectionOwner* selectionOwner() override { return &m_selectionOwner; }
    FloatingPanelSupport& panelSupport() override { return m_panelSupport; }
    BrowserAddress& browser() override { return m_browser; }

private:
    std::unique_ptr<X11Connection> m_x;
    QtPasteboard m_pasteboard;
    X11KeySynthesizer m_keys;
    X11FrontmostApplication m_frontmost;
    X11Keyboard m_keyboard;
    X11SelectionOwner m_selectionOwner;
    X11FloatingPanelSupport m_panelSupport;
    AtspiConnection m_atspi;
    AtspiBrowserAddress m_browser;
};
