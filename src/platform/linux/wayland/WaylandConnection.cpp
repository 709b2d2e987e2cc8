#include "WaylandConnection.h"

#include <QAbstractEventDispatcher>
#include <QDeadlineTimer>
#include <QSocketNotifier>

#include <cerrno>
#include <poll.h>
#include <wayland-client.h>

namespace {

const wl_registry_listener kRegistryListener{&WaylandConnection::onGlobal, &WaylandConnection::onGlobalRemove};

void markDone(void* data, wl_callback*, uint32_t) { *static_cast<bool*>(data) = true; }
const wl_callback_listener kSyncListener{markDone};

} // namespace

std::unique_ptr<WaylandConnection> WaylandConnection::open(QObject* parent)
{
    if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return nullptr;
    wl_display* display = wl_display_connect(nullptr);
    if (!display)
        return nullptr;
    std::unique_ptr<WaylandConnection> connection(new WaylandConnection(display, parent));
    if (!connection->roundtrip(connection->m_registryQueue))
        return nullptr;
    return connection;
}

WaylandConnection::WaylandConnection(wl_display* display, QObject* parent) : QObject(parent), m_display(display)
{
    m_registryQueue = createQueue();
    auto* wrapped = static_cast<wl_display*>(wl_proxy_create_wrapper(display));
    wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(wrapped), m_registryQueue);
    m_registry = wl_display_get_registry(wrapped);
    wl_proxy_wrapper_destroy(wrapped);
    wl_registry_add_listener(m_registry, &kRegistryListener, this);

    m_notifier = new QSocketNotifier(wl_display_get_fd(display), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &WaylandConnection::readAndDispatch);
    // A round trip reads every queue's events but dispatches only its own: the rest must not
    // wait for the next byte on the socket. Requests made by handlers leave before we sleep.
    if (auto* dispatcher = QAbstractEventDispatcher::instance())
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, [this] {
            dispatchPending();
            flush();
        });
}

WaylandConnection::~WaylandConnection()
{
    delete m_notifier;
    wl_registry_destroy(m_registry);
    for (wl_event_queue* queue : m_queues)
        wl_event_queue_destroy(queue);
    wl_display_disconnect(m_display);
}

uint32_t WaylandConnection::version(const char* interface) const
{
    for (const Global& g : m_globals)
        if (g.interface == interface)
            return g.version;
    return 0;
}

void* WaylandConnection::bind(const wl_interface* interface, uint32_t maxVersion, wl_event_queue* queue)
{
    for (const Global& g : m_globals) {
        if (g.interface != interface->name)
            continue;
        const uint32_t v = std::min({g.version, maxVersion, uint32_t(interface->version)});
        void* proxy = wl_registry_bind(m_registry, g.name, interface, v);
        if (proxy && queue)
            wl_proxy_set_queue(static_cast<wl_proxy*>(proxy), queue);
        return proxy;
    }
    return nullptr;
}

wl_event_queue* WaylandConnection::createQueue()
{
    wl_event_queue* queue = wl_display_create_queue(m_display);
    m_queues.push_back(queue);
    return queue;
}

bool WaylandConnection::roundtrip(wl_event_queue* queue, std::chrono::milliseconds timeout)
{
    if (m_broken)
        return false;
    auto* wrapped = static_cast<wl_display*>(wl_proxy_create_wrapper(m_display));
    wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(wrapped), queue);
    wl_callback* callback = wl_display_sync(wrapped);
    wl_proxy_wrapper_destroy(wrapped);
    bool done = false;
    wl_callback_add_listener(callback, &kSyncListener, &done);

    const QDeadlineTimer deadline(timeout);
    const int fd = wl_display_get_fd(m_display);
    while (!done) {
        if (wl_display_dispatch_queue_pending(m_display, queue) < 0)
            break;
        if (done)
            break;
        if (wl_display_prepare_read_queue(m_display, queue) != 0)
            continue;
        if (wl_display_flush(m_display) < 0 && errno != EAGAIN) {
            wl_display_cancel_read(m_display);
            break;
        }
        pollfd p{fd, POLLIN, 0};
        const int ready = poll(&p, 1, int(deadline.remainingTime()));
        if (ready <= 0) {
            wl_display_cancel_read(m_display);
            if (ready < 0 && errno == EINTR)
                continue;
            break;
        }
        if (wl_display_read_events(m_display) < 0)
            break;
    }
    wl_callback_destroy(callback);
    checkError();
    return done && !m_broken;
}

void WaylandConnection::flush()
{
    if (!m_broken)
        wl_display_flush(m_display);
}

void WaylandConnection::readAndDispatch()
{
    if (m_broken)
        return;
    while (wl_display_prepare_read(m_display) != 0)
        dispatchPending();
    wl_display_flush(m_display);
    // Someone may have read the socket since the event loop saw it readable.
    pollfd p{wl_display_get_fd(m_display), POLLIN, 0};
    if (poll(&p, 1, 0) > 0)
        wl_display_read_events(m_display);
    else
        wl_display_cancel_read(m_display);
    dispatchPending();
    checkError();
}

void WaylandConnection::dispatchPending()
{
    if (m_broken)
        return;
    wl_display_dispatch_pending(m_display);
    for (wl_event_queue* queue : m_queues)
        wl_display_dispatch_queue_pending(m_display, queue);
}

void WaylandConnection::checkError()
{
    if (m_broken || wl_display_get_error(m_display) == 0)
        return;
    m_broken = true;
    m_notifier->setEnabled(false);
    Q_EMIT broken();
}

void WaylandConnection::onGlobal(void* data, wl_registry*, uint32_t name, const char* interface, uint32_t version)
{
    static_cast<WaylandConnection*>(data)->m_globals.push_back({name, QByteArray(interface), version});
}

void WaylandConnection::onGlobalRemove(void* data, wl_registry*, uint32_t name)
{
    auto& globals = static_cast<WaylandConnection*>(data)->m_globals;
    std::erase_if(globals, [name](const Global& g) { return g.name == name; });
}
