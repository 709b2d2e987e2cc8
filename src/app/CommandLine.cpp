#include "CommandLine.h"

#include "CliCommand.h"
#include "Services.h"

#include <QCoroTask>

namespace {

const QList<CliCommand>& allCommands()
{
    static const QList<CliCommand> all = [] {
        QList<CliCommand> c;
        c += settingsCommands();
        c += logCommands();
        c += historyCommands();
        c += modeCommands();
        c += keyCommands();
        c += transcribeCommands();
        c += dictionaryCommands();
        c += promptCommands();
        c += audioCommands();
        c += shortcutCommands();
        return c;
    }();
    return all;
}

void printHelp(QTextStream& s)
{
    s << "Usage : ovra [COMMANDE] [OPTIONS]\n"
         "Sans commande, ovra démarre l'application de bureau.\n\nCommandes :\n";
    for (const CliCommand& c : allCommands())
        s << "  " << c.usage << "\n";
    s.flush();
}

} // namespace

int usageError(CliContext& ctx, const QString& message, const QString& usage)
{
    if (!message.isEmpty())
        ctx.err << message << "\n";
    ctx.err << "Usage : " << usage << "\n";
    ctx.err.flush();
    return 2;
}

namespace CommandLine {

bool isSubcommand(const QString& word)
{
    return std::any_of(allCommands().begin(), allCommands().end(),
                       [&](const CliCommand& c) { return c.name == word; }) ||
           word == QLatin1String("help") || word == QLatin1String("--help") || word == QLatin1String("-h") ||
           word == QLatin1String("--version");
}

int run(const QStringList& args)
{
    QTextStream out(stdout);
    QTextStream err(stderr);
    const QString name = args.value(0);
    if (name == QLatin1String("--version")) {
        out << "ovra " << OVRA_VERSION << "\n";
        return 0;
    }
    if (name == QLatin1String("help") || name == QLatin1String("--help") || name == QLatin1String("-h")) {
        printHelp(out);
        return 0;
    }
    const auto it = std::find_if(allCommands().begin(), allCommands().end(),
                                 [&](const CliCommand& c) { return c.name == name; });
    if (it == allCommands().end()) {
        err << "Commande inconnue : " << name << "\n";
        printHelp(err);
        return 2;
    }
    auto services = Services::create(Services::defaultFolders());
    if (!services) {
        err << services.error() << "\n";
        return 1;
    }
    CliContext ctx{*services.value(), out, err};
    const int rc = QCoro::waitFor(it->run(ctx, args.mid(1)));
    out.flush();
    err.flush();
    services.value()->settings().sync();
    return rc;
}

} // namespace CommandLine
