#include "X11DesktopPlatform.h"

X11DesktopPlatform::X11DesktopPlatform(std::unique_ptr<X11Connection> connection)
    : m_x(std::move(connection)), m_keys(m_x.get()), m_frontmost(m_x.get()), m_keyboard(m_x.get()),
      m_selectionOwner(m_x.get(), m_frontmost), m_panelSupport(m_x.get(), m_frontmost),
      m_browser(m_atspi)
{
}

QString X11DesktopPlatform::description() const
{
    if (!m_x)
        return QStringLiteral("X11 sans serveur X : raccourcis, collage et application active indisponibles ; "
                              "presse-papiers Qt, adresse du navigateur par AT-SPI");
    return QStringLiteral("X11 : raccourcis par XGrabKey, collage par XTest, presse-papiers Qt, application active "
                          "par _NET_ACTIVE_WINDOW, adresse du navigateur par AT-SPI");
}
