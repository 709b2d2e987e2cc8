#include "WaylandDesktopPlatform.h"

#include "PortalDesktopServices.h"
#include "platform/linux/atspi/AtspiFrontmostApplication.h"
#include "platform/linux/clipboard/QtPasteboard.h"
#include "platform/linux/wayland/WaylandConnection.h"
#include "platform/linux/wayland/WaylandFloatingPanelSupport.h"
#include "platform/linux/wayland/WaylandFrontmostApplication.h"
#include "platform/linux/wayland/WaylandKeySynthesizer.h"
#include "platform/linux/wayland/WaylandPasteboard.h"
#include "platform/linux/wayland/WaylandSession.h"
#include "platform/linux/x11/X11Connection.h"
#include "platform/linux/x11/X11Pasteboard.h"

WaylandDesktopPlatform::WaylandDesktopPlatform(DebugLog& log, Settings& settings,
                                               std::unique_ptr<WaylandConnection> connection)
    : m_connection(std::move(connection)), m_session(std::make_unique<WaylandSession>(m_connection.get())),
      m_browser(m_atspi)
{
    if (m_connection && m_session->hasDataControl()) {
        auto pasteboard = std::make_unique<WaylandPasteboard>(*m_connection);
        if (pasteboard->isAvailable()) {
            m_pasteboard = std::move(pasteboard);
            m_pasteboardBy = QStringLiteral("data-control (zwlr_data_control_v1)");
        }
    }
    // Last resort: XWayland's selections need no focus, and the compositor mirrors them.
    if (!m_pasteboard && (m_x11 = X11Connection::open())) {
        m_pasteboard = std::make_unique<X11Pasteboard>(*m_x11);
        m_pasteboardBy = QStringLiteral("pont XWayland (sélections X11)");
    }
    if (!m_pasteboard) {
        m_pasteboard = std::make_unique<QtPasteboard>();
        m_pasteboardBy = QStringLiteral("Qt (seulement quand une fenêtre d’Ovra a le focus)");
    }

    if (m_connection && m_session->hasVirtualKeyboard()) {
        auto keys = std::make_unique<WaylandKeySynthesizer>(*m_connection);
        if (keys->isTrusted()) {
            m_keys = std::move(keys);
            m_keysBy = QStringLiteral("clavier virtuel (zwp_virtual_keyboard_v1)");
        }
    }
    if (!m_keys) {
        m_keys = std::make_unique<NoKeys>();
        m_keysBy = QStringLiteral("indisponible (le texte reste dans le presse-papiers)");
    }

    if (m_connection && m_session->hasForeignToplevel()) {
        auto frontmost = std::make_unique<WaylandFrontmostApplication>(*m_connection);
        if (frontmost->isAvailable()) {
            m_panelSupport = std::make_unique<WaylandFloatingPanelSupport>(*frontmost);
            m_panelBy = QStringLiteral("fenêtre flottante qui rend le focus (foreign-toplevel)");
            m_frontmost = std::move(frontmost);
            m_frontmostBy = QStringLiteral("foreign-toplevel (zwlr_foreign_toplevel_management_v1)");
        }
    }
    if (!m_frontmost) {
        m_frontmost = std::make_unique<AtspiFrontmostApplication>(m_atspi);
        m_frontmostBy = QStringLiteral("AT-SPI");
    }
    if (!m_panelSupport)
    {
        m_panelSupport = std::make_unique<NoFloatingPanelSupport>();
        m_panelBy = QStringLiteral("fenêtre sans focus placée par le compositeur");
    }
    // The portal's keyboard asks the user once: only where the compositor gave us none.
    m_portal = std::make_unique<PortalDesktopServices>(log, settings, !m_keys->isTrusted());
}

KeySynthesizer& WaylandDesktopPlatform::keys()
{
    if (!m_keys->isTrusted() && m_portal->keys())
        return *m_portal->keys();
    return *m_keys;
}

KeyGrabber& WaylandDesktopPlatform::grabber()
{
    if (m_portal->shortcuts())
        return *m_portal->shortcuts();
    return m_keyboard;
}

std::function<void()> WaylandDesktopPlatform::shortcutsConfigurator() { return m_portal->shortcutsConfigurator(); }

WaylandDesktopPlatform::~WaylandDesktopPlatform() = default;

Expected<void, QString> WaylandDesktopPlatform::NoKeyboard::grab(const KeyCombo&, std::function<void()>,
                                                                 std::function<void()>)
{
    return unexpected(QStringLiteral("raccourcis globaux indisponibles sous Wayland sans portail : liez "
                                     "« ovra toggle » à une touche dans les réglages de votre bureau"));
}

QString WaylandDesktopPlatform::description() const
{
    const QString shortcuts = m_portal->shortcutsStatus();
    QString keys = m_keysBy;
    if (!m_keys->isTrusted() && !m_portal->keysStatus().isEmpty())
        keys = m_portal->keysStatus();
    return QStringLiteral("Wayland (%1) ; raccourcis : %2 ; collage : %3 ; presse-papiers : %4 ; application active : "
                          "%5 ; adresse du navigateur : AT-SPI ; panneau : %6")
        .arg(m_session->summary(),
             shortcuts.isEmpty() ? QStringLiteral("« ovra toggle » lié dans le compositeur") : shortcuts, keys,
             m_pasteboardBy, m_frontmostBy, m_panelBy);
}
