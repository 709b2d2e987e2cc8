#pragma once
// One Wayland client connection of our own, beside Qt's, read from the Qt event loop. Each
// service keeps its objects on an event queue of its own, so a round trip one service makes
// while the others wait dispatches only its own events (no handler runs in the middle of it).
#include <QObject>
#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

struct wl_display;
struct wl_event_queue;
struct wl_interface;
struct wl_registry;

class QSocketNotifier;

class WaylandConnection : public QObject
{
    Q_OBJECT
public:
    struct Global
    {
        uint32_t name = 0;
        QByteArray interface;
        uint32_t version = 0;
    };

    // Null without a compositor ($WAYLAND_DISPLAY unset or nobody listening there).
    static std::unique_ptr<WaylandConnection> open(QObject* parent = nullptr);
    ~WaylandConnection() override;

    wl_display* display() const { return m_display; }
    // What the compositor advertises, in its order.
    const std::vector<Global>& globals() const { return m_globals; }
    // The advertised version of an interface; 0 when absent.
    uint32_t version(const char* interface) const;
    // Binds the first global of that interface at min(advertised, maxVersion), its events
    // delivered on queue; null when absent.
    void* bind(const wl_interface* interface, uint32_t maxVersion, wl_event_queue* queue);
    // A queue dispatched by the event loop like the others; destroyed with the connection.
    wl_event_queue* createQueue();
    // Sends what is buffered, then waits until the compositor has answered every request made
    // so far, dispatching only this queue's events. False when the connection broke or the
    // compositor did not answer in time.
    bool roundtrip(wl_event_queue* queue, std::chrono::milliseconds timeout = std::chrono::seconds(2));
    void flush();
    // True once the compositor closed the connection or reported a protocol error.
    bool isBroken() const { return m_broken; }

    // The registry's listener.
    static void onGlobal(void* data, wl_registry*, uint32_t name, const char* interface, uint32_t version);
    static void onGlobalRemove(void* data, wl_registry*, uint32_t name);

Q_SIGNALS:
    void broken();

private:
    explicit WaylandConnection(wl_display* display, QObject* parent);
    void readAndDispatch();
    void dispatchPending();
    void checkError();

    wl_display* m_display;
    wl_event_queue* m_registryQueue = nullptr;
    wl_registry* m_registry = nullptr;
    std::vector<wl_event_queue*> m_queues;
    std::vector<Global> m_globals;
    QSocketNotifier* m_notifier = nullptr;
    bool m_broken = false;
};
