#include "X11FrontmostApplication.h"

#include "X11Connection.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

X11FrontmostApplication::X11FrontmostApplication(X11Connection* connection) : m_connection(connection)
{
    if (!connection)
        return;
    Display* d = connection->display();
    m_netActiveWindow = XInternAtom(d, "_NET_ACTIVE_WINDOW", False);
    m_gtkApplicationId = XInternAtom(d, "_GTK_APPLICATION_ID", False);
    m_kdeDesktopFile = XInternAtom(d, "_KDE_NET_WM_DESKTOP_FILE", False);
}

QString X11FrontmostApplication::stringProperty(unsigned long window, unsigned long property)
{
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    const int rc = XGetWindowProperty(m_connection->display(), window, property, 0, 1024, False, AnyPropertyType,
                                      &type, &format, &count, &after, &data);
    QString value;
    if (rc == Success && data && format == 8)
        value = QString::fromUtf8(reinterpret_cast<const char*>(data), int(count));
    if (data)
        XFree(data);
    return value;
}

unsigned long X11FrontmostApplication::activeWindow()
{
    Display* d = m_connection->display();
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    Window window = 0;
    if (XGetWindowProperty(d, m_connection->rootWindow(), m_netActiveWindow, 0, 1, False, XA_WINDOW, &type, &format,
                           &count, &after, &data) == Success &&
        data && count == 1 && format == 32)
        window = *reinterpret_cast<Window*>(data);
    if (data)
        XFree(data);
    if (window == 0) {
        // No window manager: the input focus is the best we have.
        int revert = 0;
        XGetInputFocus(d, &window, &revert);
        if (window == PointerRoot || window == None)
            window = 0;
    }
    return window;
}

QString X11FrontmostApplication::applicationIdOf(unsigned long window)
{
    Display* d = m_connection->display();
    X11ErrorTrap trap(d);
    // The focus may sit on a child of the top-level window that carries the class.
    for (int depth = 0; window != 0 && window != m_connection->rootWindow() && depth < 16; ++depth) {
        for (Atom desktopId : {Atom(m_gtkApplicationId), Atom(m_kdeDesktopFile)}) {
            QString id = stringProperty(window, desktopId);
            if (!id.isEmpty())
                return id.endsWith(QLatin1String(".desktop")) ? id.chopped(8) : id;
        }
        XClassHint hint{nullptr, nullptr};
        if (XGetClassHint(d, window, &hint)) {
            const QString cls = QString::fromLocal8Bit(hint.res_class).toLower();
            XFree(hint.res_name);
            XFree(hint.res_class);
            if (!cls.isEmpty())
                return cls;
        }
        Window root = 0, parent = 0;
        Window* children = nullptr;
        unsigned int n = 0;
        if (!XQueryTree(d, window, &root, &parent, &children, &n))
            break;
        if (children)
            XFree(children);
        window = parent;
    }
    return {};
}

QString X11FrontmostApplication::frontmostApplicationId()
{
    if (!m_connection)
        return {};
    return applicationIdOf(activeWindow());
}

void X11FrontmostApplication::setActivationHandler(std::function<void(const QString&)> handler)
{
    if (!m_connection)
        return;
    const bool first = !m_handler;
    m_handler = std::move(handler);
    if (!first)
        return;
    Display* d = m_connection->display();
    XWindowAttributes attributes;
    XGetWindowAttributes(d, m_connection->rootWindow(), &attributes);
    XSelectInput(d, m_connection->rootWindow(), attributes.your_event_mask | PropertyChangeMask);
    XFlush(d);
    m_connection->addEventHandler([this](XEvent* e) {
        if (e->type != PropertyNotify || e->xproperty.atom != m_netActiveWindow)
            return;
        const QString id = frontmostApplicationId();
        if (id.isEmpty() || id == m_lastReported)
            return;
        m_lastReported = id;
        m_handler(id);
    });
}
