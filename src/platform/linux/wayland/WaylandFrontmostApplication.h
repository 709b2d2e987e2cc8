#pragma once
// The active window's application through the compositor's foreign-toplevel management
// (wlroots compositors): every toplevel reports its app_id and whether it is activated.
#include "platform/FrontmostApplication.h"

#include <QString>
#include <map>

class WaylandConnection;
struct wl_event_queue;
struct zwlr_foreign_toplevel_handle_v1;
struct zwlr_foreign_toplevel_manager_v1;

class WaylandFrontmostApplication : public FrontmostApplication
{
public:
    explicit WaylandFrontmostApplication(WaylandConnection& connection);
    ~WaylandFrontmostApplication() override;
    WaylandFrontmostApplication(const WaylandFrontmostApplication&) = delete;
    WaylandFrontmostApplication& operator=(const WaylandFrontmostApplication&) = delete;

    bool isAvailable() const override;
    QString frontmostApplicationId() override;
    void setActivationHandler(std::function<void(const QString&)> handler) override;

    // One of our own windows (known by its title) that must never keep the keyboard focus: the
    // compositor gives it to every new window, and a paste would land there. When it gets the
    // focus, the window that had it gets it back; its activation is not reported.
    void keepFocusFrom(const QString& windowTitle);

    // An app_id as the rest of the program names applications: unchanged when a desktop entry
    // of that name is installed, else in lower case.
    static QString applicationIdFor(const QString& appId);

    // The protocol's listeners.
    struct Toplevel
    {
        QString appId;
        QString title;
        bool activated = false;
        // What the next "done" applies.
        QString pendingAppId;
        bool pendingActivated = false;
    };
    static void onToplevel(void* data, zwlr_foreign_toplevel_manager_v1*, zwlr_foreign_toplevel_handle_v1* handle);
    static void onFinished(void* data, zwlr_foreign_toplevel_manager_v1*);
    static void onTitle(void* data, zwlr_foreign_toplevel_handle_v1* handle, const char* title);
    static void onAppId(void* data, zwlr_foreign_toplevel_handle_v1* handle, const char* appId);
    static void onState(void* data, zwlr_foreign_toplevel_handle_v1* handle, struct wl_array* state);
    static void onDone(void* data, zwlr_foreign_toplevel_handle_v1* handle);
    static void onClosed(void* data, zwlr_foreign_toplevel_handle_v1* handle);

private:
    WaylandConnection& m_connection;
    wl_event_queue* m_queue = nullptr;
    zwlr_foreign_toplevel_manager_v1* m_manager = nullptr;
    struct wl_seat* m_seat = nullptr;
    QString m_unfocusableTitle;
    std::map<zwlr_foreign_toplevel_handle_v1*, Toplevel> m_toplevels;
    zwlr_foreign_toplevel_handle_v1* m_active = nullptr;
    // The last window that lost the focus, while it is open.
    zwlr_foreign_toplevel_handle_v1* m_lastActive = nullptr;
    QString m_activeId;
    std::function<void(const QString&)> m_handler;
};
