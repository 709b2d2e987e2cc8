#pragma once
// This device as other devices see it in sync-edit stamps.
#include "RecordStore.h"

class Settings;

namespace DeviceIdentity {
// The host's pretty name (systemd's PRETTY_HOSTNAME), else its host name.
QString prettyHostName();
EditIdentity current(Settings& settings);
} // namespace DeviceIdentity
