#pragma once
// The usage texts of the command line, all drawn from the commands' own descriptions.
#include "CliCommand.h"

namespace CliHelp {

// `ovra help`: every command with its one-line summary.
QString overview(const QList<CliCommand>& commands);
// `ovra COMMAND --help`, or `ovra COMMAND VERB --help` when verb names one of its verbs.
QString command(const CliCommand& command, const QString& verb = {});
// The "Usage : …" lines a usage error ends with.
QString usageLines(const CliCommand& command);
// `ovra help --all`: the overview, then every command's help (the README shows it).
QString all(const QList<CliCommand>& commands);

} // namespace CliHelp
