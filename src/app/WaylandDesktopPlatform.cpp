#include "WaylandDesktopPlatform.h"

#include "PortalDesktopServices.h"

WaylandDesktopPlatform::WaylandDesktopPlatform(DebugLog& log, Settings& settings)
    : m_frontmost(m_atspi), m_browser(m_atspi),
      m_portal(std::make_unique<PortalDesktopServices>(log, settings, !m_keys.isTrusted()))
{
}

WaylandDesktopPlatform::~WaylandDesktopPlatform() = default;

KeySynthesizer& WaylandDesktopPlatform::keys()
{
    if (!m_keys.isTrusted() && m_portal->keys())
        return *m_portal->keys();
    return m_keys;
}

KeyGrabber& WaylandDesktopPlatform::grabber()
{
    if (m_portal->shortcuts())
        return *m_portal->shortcuts();
    return m_keyboard;
}

Expected<void, QString> WaylandDesktopPlatform::NoKeyboard::grab(const KeyCombo&, std::function<void()>,
                                                                 std::function<void()>)
{
    return unexpected(QStringLiteral("raccourcis globaux indisponibles sous Wayland sans portail : liez "
                                     "« ovra toggle » à une touche dans les réglages de votre bureau"));
}

QString WaylandDesktopPlatform::description() const
{
    const QString shortcuts = m_portal->shortcutsStatus();
    const QString keys = m_keys.isTrusted() ? QString() : m_portal->keysStatus();
    return QStringLiteral("Wayland : raccourcis par ") +
           (shortcuts.isEmpty() ? QStringLiteral("« ovra toggle » lié dans le compositeur") : shortcuts) +
           QStringLiteral(", collage par ") +
           (keys.isEmpty() ? QStringLiteral("rien (le texte reste dans le presse-papiers)") : keys) +
           QStringLiteral(", presse-papiers Qt, application active et adresse du navigateur par AT-SPI");
}
