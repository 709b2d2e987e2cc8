#include "CommandLine.h"
#include "DesktopApplication.h"
#include "Services.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QTextStream>

namespace {
QtMessageHandler g_defaultHandler = nullptr;

// Qt's note about a missing XDG_RUNTIME_DIR would come before our own messages (the fatal store
// error must be the first line); the runtime folder is only used for the instance lock.
void quietRuntimeWarning(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (g_defaultHandler && !message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")))
        g_defaultHandler(type, context, message);
}

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

    // Without any display the desktop application could do nothing useful (QT_QPA_PLATFORM still
    // lets tests run it offscreen).
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        QTextStream(stderr) << "Aucun écran (ni DISPLAY ni WAYLAND_DISPLAY) : l'application de bureau ne peut pas "
                               "démarrer.\nPour dicter depuis ce terminal : ovra dictate (ovra help pour les autres "
                               "commandes).\n";
        return 1;
    }
    g_defaultHandler = qInstallMessageHandler(quietRuntimeWarning);
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
