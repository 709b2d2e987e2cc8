#pragma once
// What the recorder panel needs from the window system: where the focused window is (to show
// the panel on its screen) and a way to mark the panel as a notification that never takes the
// keyboard focus.
#include <QRect>
#include <optional>

class FloatingPanelSupport
{
public:
    virtual ~FloatingPanelSupport() = default;
    // The focused window's frame in screen coordinates; none when unknown.
    virtual std::optional<QRect> focusedWindowFrame() = 0;
    // Called after each show of the panel's native window.
    virtual void markAsFloatingPanel(quintptr nativeWindow) = 0;
};

// Outside X11: the panel relies on its Qt window flags alone.
class NoFloatingPanelSupport : public FloatingPanelSupport
{
public:
    std::optional<QRect> focusedWindowFrame() override { return std::nullopt; }
    void markAsFloatingPanel(quintptr) override {}
};
