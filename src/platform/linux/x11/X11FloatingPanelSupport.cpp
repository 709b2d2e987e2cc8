#include "X11FloatingPanelSupport.h"

#include "X11Connection.h"
#include "X11FrontmostApplication.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

X11FloatingPanelSupport::X11FloatingPanelSupport(X11Connection* connection, X11FrontmostApplication& frontmost)
    : m_connection(connection), m_frontmost(frontmost)
{
}

std::optional<QRect> X11FloatingPanelSupport::focusedWindowFrame()
{
    if (!m_connection)
        return std::nullopt;
    const Window window = m_frontmost.activeWindow();
    if (window == 0)
        return std::nullopt;
    Display* d = m_connection->display();
    X11ErrorTrap trap(d); // the window may vanish between the two requests
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(d, window, &attributes))
        return std::nullopt;
    int x = 0, y = 0;
    Window child = 0;
    if (!XTranslateCoordinates(d, window, m_connection->rootWindow(), 0, 0, &x, &y, &child) || trap.sync() != 0)
        return std::nullopt;
    return QRect(x, y, attributes.width, attributes.height);
}

void X11FloatingPanelSupport::markAsFloatingPanel(quintptr nativeWindow)
{
    if (!m_connection || nativeWindow == 0)
        return;
    Display* d = m_connection->display();
    const Window w = nativeWindow;
    X11ErrorTrap trap(d);
    const Atom types[] = {XInternAtom(d, "_NET_WM_WINDOW_TYPE_NOTIFICATION", False),
                          XInternAtom(d, "_NET_WM_WINDOW_TYPE_UTILITY", False)};
    XChangeProperty(d, w, XInternAtom(d, "_NET_WM_WINDOW_TYPE", False), XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(types), 2);
    const Atom states[] = {XInternAtom(d, "_NET_WM_STATE_ABOVE", False),
                           XInternAtom(d, "_NET_WM_STATE_STICKY", False),
                           XInternAtom(d, "_NET_WM_STATE_SKIP_TASKBAR", False),
                           XInternAtom(d, "_NET_WM_STATE_SKIP_PAGER", False)};
    XChangeProperty(d, w, XInternAtom(d, "_NET_WM_STATE", False), XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(states), 4);
    // On every desktop.
    const long allDesktops = 0xFFFFFFFF;
    XChangeProperty(d, w, XInternAtom(d, "_NET_WM_DESKTOP", False), XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&allDesktops), 1);
    XWMHints* hints = XGetWMHints(d, w);
    XWMHints fresh{};
    XWMHints* h = hints ? hints : &fresh;
    h->flags |= InputHint;
    h->input = False;
    XSetWMHints(d, w, h);
    if (hints)
        XFree(hints);
    XFlush(d);
    trap.sync();
}
