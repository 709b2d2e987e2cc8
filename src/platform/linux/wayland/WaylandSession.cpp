#include "WaylandSession.h"

#include "WaylandConnection.h"

WaylandSession::WaylandSession(const WaylandConnection* connection)
    : m_desktop(qEnvironmentVariable("XDG_CURRENT_DESKTOP")), m_connected(connection != nullptr)
{
    if (m_desktop.isEmpty())
        m_desktop = QStringLiteral("inconnu");
    if (!connection)
        return;
    // The protocols act on a seat: without one none of them serves.
    m_seat = connection->version("wl_seat");
    if (m_seat == 0)
        return;
    m_virtualKeyboard = connection->version("zwp_virtual_keyboard_manager_v1");
    m_dataControl = connection->version("zwlr_data_control_manager_v1");
    m_foreignToplevel = connection->version("zwlr_foreign_toplevel_manager_v1");
}

QString WaylandSession::summary() const
{
    if (!m_connected)
        return QStringLiteral("bureau %1, compositeur injoignable").arg(m_desktop);
    QStringList offered;
    const auto add = [&offered](const char* name, uint32_t version) {
        if (version > 0)
            offered << QStringLiteral("%1 v%2").arg(QLatin1String(name)).arg(version);
    };
    add("wl_seat", m_seat);
    add("zwp_virtual_keyboard_manager_v1", m_virtualKeyboard);
    add("zwlr_data_control_manager_v1", m_dataControl);
    add("zwlr_foreign_toplevel_manager_v1", m_foreignToplevel);
    return QStringLiteral("bureau %1, protocoles : %2")
        .arg(m_desktop, offered.isEmpty() ? QStringLiteral("aucun") : offered.join(QLatin1String(", ")));
}
