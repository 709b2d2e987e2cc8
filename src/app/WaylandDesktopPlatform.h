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
#include "platform/linux/x11/NoBrowserAddress.h"

class WaylandDesktopPlatform : public DesktopPlatform
{
public:
    WaylandDesktopPlatform();

    QString description() const override;
    Pasteboard& pasteboard() override { return m_pasteboard; }
    KeySynthesizer& keys() override { return m_keys; }
    FrontmostApplication& frontmost() override { return m_frontmost; }
    KeyGrabber& grabber() override { return m_keyboard; }
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
    struct NoFrontmost : FrontmostApplication
    {
        bool isAvailable() const override { return false; }
        QString frontmostApplicationId() override { return {}; }
        void setActivationHandler(std::function<void(const QString&)>) override {}
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
    NoFrontmost m_frontmost;
    NoKeyboard m_keyboard;
    NoFloatingPanelSupport m_panelSupport;
    NoBrowserAddress m_browser;
};
