#pragma once
// The recorder panel on wlroots compositors, which focus every new window: whenever the panel
// gets the keyboard focus, the window the user works in gets it back, so the paste lands there.
// Its place is the compositor's (floating, as a window of fixed size).
#include "platform/FloatingPanelSupport.h"

class WaylandFrontmostApplication;

class WaylandFloatingPanelSupport : public FloatingPanelSupport
{
public:
    explicit WaylandFloatingPanelSupport(WaylandFrontmostApplication& frontmost) : m_frontmost(frontmost) {}
    std::optional<QRect> focusedWindowFrame() override { return std::nullopt; }
    void markAsFloatingPanel(quintptr nativeWindow) override;

private:
    WaylandFrontmostApplication& m_frontmost;
};
