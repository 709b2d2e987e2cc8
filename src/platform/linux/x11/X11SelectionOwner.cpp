#include "X11SelectionOwner.h"

#include "X11Connection.h"
#include "X11FrontmostApplication.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
// For the connection's resource-id mask: the bits above it name the client that made an id.
#include <X11/Xlibint.h>

X11SelectionOwner::X11SelectionOwner(X11Connection* connection, X11FrontmostApplication& frontmost)
    : m_connection(connection), m_frontmost(frontmost)
{
    if (!connection)
        return;
    m_pid = XInternAtom(connection->display(), "_NET_WM_PID", False);
    m_clientLeader = XInternAtom(connection->display(), "WM_CLIENT_LEADER", False);
}

unsigned long X11SelectionOwner::cardinalProperty(unsigned long window, unsigned long property, unsigned long type)
{
    Atom actual = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    unsigned long value = 0;
    if (XGetWindowProperty(m_connection->display(), window, property, 0, 1, False, type, &actual, &format, &count,
                           &after, &data) == Success &&
        data && count == 1 && format == 32)
        value = *reinterpret_cast<unsigned long*>(data);
    if (data)
        XFree(data);
    return value;
}

unsigned long X11SelectionOwner::inheritedProperty(unsigned long window, unsigned long property, unsigned long type)
{
    Display* d = m_connection->display();
    for (int depth = 0; window != 0 && window != m_connection->rootWindow() && depth < 16; ++depth) {
        if (const unsigned long value = cardinalProperty(window, property, type))
            return value;
        Window root = 0, parent = 0;
        Window* children = nullptr;
        unsigned int n = 0;
        if (!XQueryTree(d, window, &root, &parent, &children, &n))
            return 0;
        if (children)
            XFree(children);
        window = parent;
    }
    return 0;
}

bool X11SelectionOwner::selectionBelongsToFocusedApplication()
{
    if (!m_connection || !m_frontmost.isAvailable())
        return false;
    Display* d = m_connection->display();
    const Window owner = XGetSelectionOwner(d, XA_PRIMARY);
    const Window focused = m_frontmost.activeWindow();
    if (owner == None || focused == 0)
        return false;
    const XID clientBits = ~d->resource_mask;
    if ((owner & clientBits) == (focused & clientBits))
        return true;
    // Windows that vanish meanwhile only make the answer "no".
    X11ErrorTrap trap(d);
    for (auto [property, type] : {std::pair{m_pid, XA_CARDINAL}, std::pair{m_clientLeader, XA_WINDOW}}) {
        const unsigned long a = inheritedProperty(owner, property, type);
        if (a != 0 && a == inheritedProperty(focused, property, type))
            return trap.sync() == 0;
    }
    return false;
}
