#include "WaylandDesktopPlatform.h"

WaylandDesktopPlatform::WaylandDesktopPlatform() : m_frontmost(m_atspi), m_browser(m_atspi) {}

Expected<void, QString> WaylandDesktopPlatform::NoKeyboard::grab(const KeyCombo&, std::function<void()>,
                                                                 std::function<void()>)
{
    return unexpected(QStringLiteral("raccourcis globaux indisponibles sous Wayland sans portail : liez "
                                     "« ovra toggle » à une touche dans les réglages de votre bureau"));
}

QString WaylandDesktopPlatform::description() const
{
    return QStringLiteral("Wayland : raccourcis par « ovra toggle » lié dans le compositeur, collage indisponible "
                          "(le texte reste dans le presse-papiers), presse-papiers Qt, application active et adresse du "
                          "navigateur par AT-SPI");
}
