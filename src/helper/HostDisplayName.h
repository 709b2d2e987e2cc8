#pragma once
// The name this computer shows to the user's other devices: the pretty host name that
// hostnamectl keeps in /etc/machine-info, else the host name.
#include <QString>

namespace HostDisplayName {
// PRETTY_HOSTNAME of a machine-info file (shell-style KEY=VALUE lines); empty when absent.
QString prettyName(const QString& machineInfoPath = QStringLiteral("/etc/machine-info"));
// The pretty name, else the host name; empty when neither is known.
QString read();
} // namespace HostDisplayName
