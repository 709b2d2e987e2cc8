#pragma once
// One Xlib connection of our own, read from the Qt event loop, shared by the X11 services.
#include <QObject>
#include <functional>
#include <memory>

struct _XDisplay;
union _XEvent;

class QSocketNotifier;

class X11Connection : public QObject
{
    Q_OBJECT
public:
    using EventHandler = std::function<void(_XEvent* event)>;

    // Null without an X server ($DISPLAY unset or unreachable, Wayland without XWayland).
    static std::unique_ptr<X11Connection> open(QObject* parent = nullptr);
    ~X11Connection() override;

    _XDisplay* display() const { return m_display; }
    unsigned long rootWindow() const;
    // Every event read from the server is passed to each handler, in order; the data of
    // generic (extension) events is already fetched.
    void addEventHandler(EventHandler handler);
    // Reads every event already queued or waiting on the socket.
    void processPendingEvents();

private:
    explicit X11Connection(_XDisplay* display, QObject* parent);
    _XDisplay* m_display;
    QSocketNotifier* m_notifier = nullptr;
    std::vector<EventHandler> m_handlers;
};

// Collects the X errors caused by the requests made during its lifetime instead of letting Xlib
// print them and carry on.
class X11ErrorTrap
{
public:
    explicit X11ErrorTrap(_XDisplay* display);
    ~X11ErrorTrap();
    X11ErrorTrap(const X11ErrorTrap&) = delete;
    X11ErrorTrap& operator=(const X11ErrorTrap&) = delete;
    // Waits for the server to answer every request so far; the first error code, 0 if none.
    int sync();

private:
    _XDisplay* m_display;
    // Xlib's handler type, kept opaque so this header needs no Xlib include.
    void (*m_previous)() = nullptr;
};
