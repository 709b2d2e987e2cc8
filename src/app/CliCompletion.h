#pragma once
// What the shell completion scripts offer for the next word, from the commands' own
// descriptions: `ovra __complete WORD…` prints one candidate a line.
#include "CliCommand.h"

namespace CliCompletion {

// typed: the words after "ovra" before the one being completed.
QStringList candidates(const QList<CliCommand>& commands, const QStringList& typed);

} // namespace CliCompletion
