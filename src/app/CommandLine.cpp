#include "CommandLine.h"

#include "CliCommand.h"
#include "CliCompletion.h"
#include "CliHelp.h"
#include "NearestName.h"
#include "Services.h"
#include "Terminal.h"

#include <QCoroTask>

namespace {

const QList<CliCommand>& allCommands()
{
    static const QList<CliCommand> all = [] {
        QList<CliCommand> c;
        c += transcribeCommands();
        c += audioCommands();
        c += modeCommands();
        c += dictionaryCommands();
        c += promptCommands();
        c += noteCommands();
        c += historyCommands();
        c += keyCommands();
        c += settingsCommands();
        c += shortcutCommands();
        c += logCommands();
        c += helperCommands();
        c += exportCommands();
        c += importCommands();
        c += statsCommands();
        c += queueCommands();
        c += retryCommands();
        c += syncCommands();
        c += modelCommands();
        c += leaderboardCommands();
        c += controlCommands();
        return c;
    }();
    return all;
}

const CliCommand* findCommand(const QString& name)
{
    const auto it = std::find_if(allCommands().begin(), allCommands().end(),
                                 [&](const CliCommand& c) { return c.name == name; });
    return it == allCommands().end() ? nullptr : &*it;
}

bool isHelpWord(const QString& word)
{
    return word == QLatin1String("--help") || word == QLatin1String("-h");
}

// `--help` anywhere before a "--" asks for help rather than running the command.
bool asksForHelp(const QStringList& args)
{
    for (const QString& a : args) {
        if (a == QLatin1String("--"))
            return false;
        if (isHelpWord(a))
            return true;
    }
    return false;
}

// A verb's own need when it names one, else the command's (an unknown verb fails before any write).
Services::StoreUse storeUse(const CliCommand& command, const QStringList& args)
{
    for (const CliVerb& v : command.verbs) {
        if (v.name == args.value(0))
            return v.store;
    }
    return command.store;
}

int unknownCommand(QTextStream& err, const QString& name)
{
    QStringList names;
    for (const CliCommand& c : allCommands())
        names << c.name;
    err << "Commande inconnue : " << name << "\n";
    if (const auto near = nearestName(name, names))
        err << "Vouliez-vous dire « ovra " << *near << " » ?\n";
    err << "Aide : ovra help\n";
    return 2;
}

// `ovra help [COMMAND [VERB]]` and `ovra help --all`.
int help(QTextStream& out, QTextStream& err, const QStringList& args)
{
    if (args.isEmpty()) {
        out << CliHelp::overview(allCommands());
        return 0;
    }
    if (args == QStringList{QStringLiteral("--all")}) {
        out << CliHelp::all(allCommands());
        return 0;
    }
    const CliCommand* c = findCommand(args.first());
    if (!c)
        return unknownCommand(err, args.first());
    if (args.size() > 2) {
        err << "Usage : ovra help [COMMANDE [VERBE]] | ovra help --all\n";
        return 2;
    }
    out << CliHelp::command(*c, args.value(1));
    return 0;
}

} // namespace

int usageError(CliContext& ctx, const QString& message)
{
    ctx.terminal.clearProgress();
    if (!message.isEmpty())
        ctx.err << message << "\n";
    ctx.err << CliHelp::usageLines(ctx.command);
    ctx.err.flush();
    return 2;
}

int refuse(CliContext& ctx, const CliError& error)
{
    if (error.code == 2)
        return usageError(ctx, error.message);
    ctx.terminal.clearProgress();
    ctx.err << error.message << "\n";
    ctx.err.flush();
    return error.code;
}

int usageError(CliContext& ctx, const QString& message, const QString& usage)
{
    if (!ctx.command.synopsis.isEmpty() || !ctx.command.verbs.isEmpty())
        return usageError(ctx, message);
    ctx.terminal.clearProgress();
    if (!message.isEmpty())
        ctx.err << message << "\n";
    ctx.err << "Usage : " << usage << "\n";
    ctx.err.flush();
    return 2;
}

namespace CommandLine {

bool isSubcommand(const QString& word)
{
    return findCommand(word) || word == QLatin1String("help") || isHelpWord(word) ||
           word == QLatin1String("--version") || word == QLatin1String("__complete");
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
    if (name == QLatin1String("help") || isHelpWord(name))
        return help(out, err, args.mid(1));
    if (name == QLatin1String("__complete")) {
        for (const QString& word : CliCompletion::candidates(allCommands(), args.mid(1)))
            out << word << "\n";
        return 0;
    }
    const CliCommand* command = findCommand(name);
    if (!command)
        return unknownCommand(err, name);
    // Help needs no store: it works even when the store cannot be opened.
    if (asksForHelp(args.mid(1))) {
        const QString verb = args.value(1);
        out << CliHelp::command(*command, isHelpWord(verb) ? QString() : verb);
        return 0;
    }
    auto services = Services::create(Services::defaultFolders(), storeUse(*command, args.mid(1)));
    if (!services) {
        err << services.error() << "\n";
        return 1;
    }
    Terminal terminal(err);
    CliContext ctx{*services.value(), out, err, terminal, *command};
    const int rc = QCoro::waitFor(command->run(ctx, args.mid(1)));
    terminal.clearProgress();
    out.flush();
    err.flush();
    services.value()->settings().sync();
    return rc;
}

} // namespace CommandLine
