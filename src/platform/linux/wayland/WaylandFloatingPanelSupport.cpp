#include "WaylandFloatingPanelSupport.h"

#include "WaylandFrontmostApplication.h"

#include <QGuiApplication>
#include <QWindow>

void WaylandFloatingPanelSupport::markAsFloatingPanel(quintptr nativeWindow)
{
    // Other clients know our windows by their titles only.
    for (QWindow* window : QGuiApplication::topLevelWindows())
        if (window->winId() == nativeWindow && !window->title().isEmpty())
            m_frontmost.keepFocusFrom(window->title());
}
