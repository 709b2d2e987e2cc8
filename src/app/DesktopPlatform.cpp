#include "DesktopPlatform.h"

#include "WaylandDesktopPlatform.h"
#include "X11DesktopPlatform.h"
#include "store/DebugLog.h"

#include <QTextStream>

std::unique_ptr<DesktopPlatform> DesktopPlatform::forSession(DebugLog& log, Settings& settings)
{
    std::unique_ptr<DesktopPlatform> platform;
    // A Wayland session may also run XWayland (DISPLAY set): its grabs would only see X clients.
    if (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        platform = std::make_unique<WaylandDesktopPlatform>(log, settings);
    } else {
        std::unique_ptr<X11Connection> x = X11Connection::open();
        if (!x)
            QTextStream(stderr) << "Pas de serveur X : raccourcis globaux et collage automatique indisponibles.\n";
        platform = std::make_unique<X11DesktopPlatform>(std::move(x));
    }
    log.log(QStringLiteral("APP session : ") + platform->description());
    return platform;
}
