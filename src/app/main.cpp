#include "CommandLine.h"
#include "Services.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("ovra"));
    QCoreApplication::setApplicationVersion(QStringLiteral(OVRA_VERSION));
    const QStringList args = app.arguments().mid(1);
    if (!args.isEmpty())
        return CommandLine::run(args);

    // The desktop application is not built yet: say where things live.
    QTextStream out(stdout);
    auto services = Services::create(Services::defaultFolders());
    if (!services) {
        QTextStream(stderr) << services.error() << "\n";
        return 1;
    }
    out << "ovra " << OVRA_VERSION << "\n"
        << "store: " << services.value()->store().path() << "\n"
        << "settings: " << services.value()->folders().config << "\n";
    return 0;
}
