#include "CommandLine.h"
#include "DesktopApplication.h"
#include "Services.h"

#include <QApplication>
#include <QCoreApplication>
#include <QMessageBox>
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

// The desktop application's own options: "--hidden" (started at login: tray only) and
// "--show-section KEY" (open the window on a section). Anything else is a subcommand.
std::optional<DesktopApplication::Options> desktopOptions(int argc, char** argv)
{
    DesktopApplication::Options options;
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        if (arg == QLatin1String("--hidden")) {
            options.hidden = true;
        } else if (arg == QLatin1String("--show-section") && i + 1 < argc) {
            const QString key = QString::fromLocal8Bit(argv[++i]);
            for (MacSection s : allSections())
                if (sectionKey(s) == key)
                    options.section = s;
            if (!options.section)
                return std::nullopt;
        } else {
            return std::nullopt;
        }
    }
    return options;
}
} // namespace

int main(int argc, char** argv)
{
    const auto desktop = desktopOptions(argc, argv);
    if (!desktop) {
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
    QApplication app(argc, argv);
    name();
    QGuiApplication::setDesktopFileName(QStringLiteral("ovra"));
    QApplication::setApplicationDisplayName(QStringLiteral("Ovra"));
    auto services = Services::create(Services::defaultFolders());
    if (!services) {
        QTextStream(stderr) << services.error() << "\n";
        const QString platform = QGuiApplication::platformName();
        if (platform != QLatin1String("offscreen") && platform != QLatin1String("minimal"))
            QMessageBox::critical(nullptr, QStringLiteral("Ovra"), services.error());
        return 1;
    }
    return DesktopApplication::run(*services.value(), *desktop);
}
