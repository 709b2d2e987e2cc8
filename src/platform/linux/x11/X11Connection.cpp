#include "X11Connection.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QSocketNotifier>

#include <X11/Xlib.h>

namespace {

// Xlib reports errors through one process-wide callback; the trap in force records here.
thread_local int t_trappedError = 0;

int recordError(Display*, XErrorEvent* e)
{
    if (t_trappedError == 0)
        t_trappedError = e->error_code;
    return 0;
}

} // namespace

std::unique_ptr<X11Connection> X11Connection::open(QObject* parent)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        return nullptr;
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return nullptr;
    return std::unique_ptr<X11Connection>(new X11Connection(display, parent));
}

X11Connection::X11Connection(Display* display, QObject* parent) : QObject(parent), m_display(display)
{
    m_notifier = new QSocketNotifier(ConnectionNumber(display), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &X11Connection::processPendingEvents);
    // Xlib may read events into its own queue while answering a request; drain it before the
    // event loop sleeps so they are not left waiting for the next byte on the socket.
    if (auto* dispatcher = QAbstractEventDispatcher::instance())
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, &X11Connection::processPendingEvents);
}

X11Connection::~X11Connection()
{
    delete m_notifier;
    XCloseDisplay(m_display);
}

unsigned long X11Connection::rootWindow() const { return DefaultRootWindow(m_display); }

void X11Connection::addEventHandler(EventHandler handler) { m_handlers.push_back(std::move(handler)); }

void X11Connection::processPendingEvents()
{
    while (XPending(m_display) > 0) {
        XEvent event;
        XNextEvent(m_display, &event);
        if (event.type == MappingNotify)
            XRefreshKeyboardMapping(&event.xmapping);
        const bool generic = event.type == GenericEvent && XGetEventData(m_display, &event.xcookie);
        for (const EventHandler& h : m_handlers)
            h(&event);
        if (generic)
            XFreeEventData(m_display, &event.xcookie);
    }
}

X11ErrorTrap::X11ErrorTrap(Display* display) : m_display(display)
{
    XSync(display, False);
    t_trappedError = 0;
    m_previous = reinterpret_cast<void (*)()>(XSetErrorHandler(recordError));
}

X11ErrorTrap::~X11ErrorTrap()
{
    XSync(m_display, False);
    XSetErrorHandler(reinterpret_cast<XErrorHandler>(m_previous));
    t_trappedError = 0;
}

int X11ErrorTrap::sync()
{
    XSync(m_display, False);
    return t_trappedError;
}
