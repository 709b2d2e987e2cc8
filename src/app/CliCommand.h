#pragma once
// One subcommand of the `ovra` command line: results on out, user-facing messages on err.
#include <QCoroTask>
#include <QStringList>
#include <QTextStream>

class Services;

struct CliContext
{
    Services& services;
    QTextStream& out;
    QTextStream& err;
};

struct CliCommand
{
    QString name;
    QString usage;
    // Exit code: 0 success, 1 failure, 2 bad usage.
    QCoro::Task<int> (*run)(CliContext& ctx, QStringList args);
};

// Each group lives in its own file and is listed once in CommandLine.cpp.
QList<CliCommand> settingsCommands();
QList<CliCommand> logCommands();
QList<CliCommand> historyCommands();
QList<CliCommand> modeCommands();
QList<CliCommand> keyCommands();
QList<CliCommand> transcribeCommands();
QList<CliCommand> dictionaryCommands();
QList<CliCommand> promptCommands();
QList<CliCommand> audioCommands();
QList<CliCommand> shortcutCommands();

// Prints the usage and returns 2.
int usageError(CliContext& ctx, const QString& message, const QString& usage);
