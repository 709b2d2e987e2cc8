#pragma once
// The focused window's frame from _NET_ACTIVE_WINDOW (or the input focus), and the panel's
// window type (notification, then utility), state (above, sticky, out of the taskbar) and
// "no input" hint.
#include "platform/FloatingPanelSupport.h"

class X11Connection;
class X11FrontmostApplication;

class X11FloatingPanelSupport : public FloatingPanelSupport
{
public:
    X11FloatingPanelSupport(X11Connection* connection, X11FrontmostApplication& frontmost);
    std::optional<QRect> focusedWindowFrame() override;
    void markAsFloatingPanel(quintptr nativeWindow) override;

private:
    X11Connection* m_connection;
    X11FrontmostApplication& m_frontmost;
};
