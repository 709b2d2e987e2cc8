#pragma once
#include <QStringList>

namespace CommandLine {
// Runs `ovra ARGS…` as one headless job and returns the exit code.
int run(const QStringList& args);
bool isSubcommand(const QString& word);
} // namespace CommandLine
