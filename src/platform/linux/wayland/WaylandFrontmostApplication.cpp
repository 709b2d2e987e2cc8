#include "WaylandFrontmostApplication.h"

#include "WaylandConnection.h"

#include "wlr-foreign-toplevel-management-unstable-v1-client-protocol.h"

#include <QStandardPaths>

#include <wayland-client.h>

namespace {

void ignoreOutput(void*, zwlr_foreign_toplevel_handle_v1*, wl_output*) {}
void ignoreParent(void*, zwlr_foreign_toplevel_handle_v1*, zwlr_foreign_toplevel_handle_v1*) {}

const zwlr_foreign_toplevel_manager_v1_listener kManagerListener{&WaylandFrontmostApplication::onToplevel,
                                                                 &WaylandFrontmostApplication::onFinished};
const zwlr_foreign_toplevel_handle_v1_listener kHandleListener{
    &WaylandFrontmostApplication::onTitle, &WaylandFrontmostApplication::onAppId,  ignoreOutput,
    ignoreOutput, &WaylandFrontmostApplication::onState,  &WaylandFrontmostApplication::onDone,
    &WaylandFrontmostApplication::onClosed, ignoreParent};

} // namespace

WaylandFrontmostApplication::WaylandFrontmostApplication(WaylandConnection& connection) : m_connection(connection)
{
    m_queue = connection.createQueue();
    m_manager = static_cast<zwlr_foreign_toplevel_manager_v1*>(
        connection.bind(&zwlr_foreign_toplevel_manager_v1_interface, 3, m_queue));
    if (!m_manager)
        return;
    m_seat = static_cast<wl_seat*>(connection.bind(&wl_seat_interface, 1, m_queue));
    zwlr_foreign_toplevel_manager_v1_add_listener(m_manager, &kManagerListener, this);
    // The windows already open, and which one is active, arrive at once.
    connection.roundtrip(m_queue);
}

WaylandFrontmostApplication::~WaylandFrontmostApplication()
{
    for (auto& [handle, toplevel] : m_toplevels)
        zwlr_foreign_toplevel_handle_v1_destroy(handle);
    if (m_manager)
        zwlr_foreign_toplevel_manager_v1_destroy(m_manager);
    if (m_seat)
        wl_seat_destroy(m_seat);
    m_connection.flush();
}

bool WaylandFrontmostApplication::isAvailable() const { return m_manager && !m_connection.isBroken(); }

QString WaylandFrontmostApplication::frontmostApplicationId() { return m_activeId; }

void WaylandFrontmostApplication::setActivationHandler(std::function<void(const QString&)> handler)
{
    m_handler = std::move(handler);
}

QString WaylandFrontmostApplication::applicationIdFor(const QString& appId)
{
    if (appId.isEmpty())
        return {};
    if (!QStandardPaths::locate(QStandardPaths::ApplicationsLocation, appId + QLatin1String(".desktop")).isEmpty())
        return appId;
    return appId.toLower();
}

void WaylandFrontmostApplication::onToplevel(void* data, zwlr_foreign_toplevel_manager_v1*,
                                             zwlr_foreign_toplevel_handle_v1* handle)
{
    auto* self = static_cast<WaylandFrontmostApplication*>(data);
    self->m_toplevels[handle] = {};
    zwlr_foreign_toplevel_handle_v1_add_listener(handle, &kHandleListener, self);
}

void WaylandFrontmostApplication::onFinished(void* data, zwlr_foreign_toplevel_manager_v1*)
{
    auto* self = static_cast<WaylandFrontmostApplication*>(data);
    zwlr_foreign_toplevel_manager_v1_destroy(self->m_manager);
    self->m_manager = nullptr;
}

void WaylandFrontmostApplication::keepFocusFrom(const QString& windowTitle) { m_unfocusableTitle = windowTitle; }

void WaylandFrontmostApplication::onTitle(void* data, zwlr_foreign_toplevel_handle_v1* handle, const char* title)
{
    auto* self = static_cast<WaylandFrontmostApplication*>(data);
    self->m_toplevels[handle].title = QString::fromUtf8(title);
}

void WaylandFrontmostApplication::onAppId(void* data, zwlr_foreign_toplevel_handle_v1* handle, const char* appId)
{
    auto* self = static_cast<WaylandFrontmostApplication*>(data);
    self->m_toplevels[handle].pendingAppId = QString::fromUtf8(appId);
}

void WaylandFrontmostApplication::onState(void* data, zwlr_foreign_toplevel_handle_v1* handle, wl_array* state)
{
    auto* self = static_cast<WaylandFrontmostApplication*>(data);
    bool activated = false;
    const auto* values = static_cast<const uint32_t*>(state->data);
    for (size_t i = 0; i < state->size / sizeof(uint32_t); ++i)
        if (values[i] == ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_ACTIVATED)
            activated = true;
    self->m_toplevels[handle].pendingActivated = activated;
}

void WaylandFrontmostApplication::onDone(void* data, zwlr_foreign_toplevel_handle_v1* handle)
{
    auto* self = static_cast<WaylandFrontmostApplication*>(data);
    Toplevel& t = self->m_toplevels[handle];
    // An app_id or state not repeated since the last "done" keeps its value.
    if (!t.pendingAppId.isNull())
        t.appId = t.pendingAppId;
    t.pendingAppId = QString();
    t.activated = t.pendingActivated;
    // Toolkits may add the application's name to the title ("Title — App").
    const bool unfocusable = !self->m_unfocusableTitle.isEmpty() &&
                             (t.title == self->m_unfocusableTitle ||
                              t.title.startsWith(self->m_unfocusableTitle + QStringLiteral(" — ")));
    if (t.activated && unfocusable) {
        // The window that had the focus may already have reported losing it.
        zwlr_foreign_toplevel_handle_v1* previous = self->m_active ? self->m_active : self->m_lastActive;
        if (previous && previous != handle && self->m_seat && self->m_manager) {
            zwlr_foreign_toplevel_handle_v1_activate(previous, self->m_seat);
            self->m_connection.flush();
        }
        return;
    }
    if (t.activated) {
        const QString id = applicationIdFor(t.appId);
        const bool changed = self->m_active != handle || id != self->m_activeId;
        self->m_active = handle;
        self->m_activeId = id;
        if (changed && self->m_handler && !id.isEmpty())
            self->m_handler(id);
    } else if (self->m_active == handle) {
        self->m_lastActive = handle;
        self->m_active = nullptr;
        self->m_activeId.clear();
    }
}

void WaylandFrontmostApplication::onClosed(void* data, zwlr_foreign_toplevel_handle_v1* handle)
{
    auto* self = static_cast<WaylandFrontmostApplication*>(data);
    if (self->m_active == handle) {
        self->m_active = nullptr;
        self->m_activeId.clear();
    }
    if (self->m_lastActive == handle)
        self->m_lastActive = nullptr;
    self->m_toplevels.erase(handle);
    zwlr_foreign_toplevel_handle_v1_destroy(handle);
}
