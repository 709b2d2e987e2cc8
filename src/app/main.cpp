#include "CommandLine.h"
#include "DesktopApplication.h"
#include "Services.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QTextStream>

namespace {
void name()
{
    QCoreApplication::setApplicationName(QStringLiteral("ovra"));
    QCoreApplication::setApplicationVersion(QStringLiteral(OVRA_VERSION));
}
} // namespace

int main(int argc, char** argv)
{
    if (argc > 1) {
        QCoreApplication app(argc, argv);
        name();
        return CommandLine::run(app.arguments().mid(1));
    }

    // Without any display the program still runs: no shortcuts, text on an in-process clipboard.
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    name();
    QGuiApplication::setDesktopFileName(QStringLiteral("ovra"));
    auto services = Services::create(Services::defaultFolders());
    if (!services) {
        QTextStream(stderr) << services.error() << "\n";
        return 1;
    }
    return DesktopApplication::run(*services.value());
}
