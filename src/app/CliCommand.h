#pragma once
// One subcommand of the `ovra` command line: results on out, user-facing messages on err.
#include "Services.h"

#include <QCoroTask>
#include <QStringList>
#include <QTextStream>

class Terminal;
struct CliCommand;

struct CliContext
{
    Services& services;
    QTextStream& out;
    QTextStream& err;
    Terminal& terminal;
    const CliCommand& command;
};

// One verb of a command that has several (`ovra modes add …`).
struct CliVerb
{
    QString name;
    QString synopsis; // what follows "ovra COMMAND VERB"
    QString summary;  // one line
    Services::StoreUse store = Services::StoreUse::readWrite;
};

// Usage texts use one vocabulary: FICHIER, NOM, ID, FOURNISSEUR, MODÈLE, LANGUE, N, TEXTE…
struct CliCommand
{
    QString name;
    QString summary; // one line, in `ovra help`
    // Exit code: 0 success, 1 failure, 2 bad usage.
    QCoro::Task<int> (*run)(CliContext& ctx, QStringList args);
    QString synopsis;       // what follows "ovra COMMAND", for a command without verbs
    QList<CliVerb> verbs;   // for a command with verbs; synopsis is then unused
    QString details = {};   // options and notes, in `ovra COMMAND --help`
    Services::StoreUse store = Services::StoreUse::readWrite; // for a command without verbs
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
QList<CliCommand> noteCommands();
QList<CliCommand> audioCommands();
QList<CliCommand> shortcutCommands();
QList<CliCommand> helperCommands();
QList<CliCommand> exportCommands();
QList<CliCommand> importCommands();
QList<CliCommand> statsCommands();
QList<CliCommand> queueCommands();
QList<CliCommand> retryCommands();
QList<CliCommand> syncCommands();
QList<CliCommand> modelCommands();
QList<CliCommand> leaderboardCommands();
QList<CliCommand> controlCommands();

// A refusal and its exit code: 2 when the command line itself is wrong, 1 otherwise.
struct CliError
{
    QString message;
    int code = 2;
};

// Prints the message (and the synopsis for a usage error); returns the error's code.
int refuse(CliContext& ctx, const CliError& error);
// Prints the message and the command's synopsis on err; returns 2.
int usageError(CliContext& ctx, const QString& message = {});
// The same for a command still giving its usage text by hand.
int usageError(CliContext& ctx, const QString& message, const QString& usage);
