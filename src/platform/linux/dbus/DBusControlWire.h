#pragma once
// The running application's control interface on the session bus: its name, object path,
// interface, and the dictionaries its replies carry.
#include "platform/RemoteControl.h"

#include <QVariantMap>

namespace DBusControlWire {
inline constexpr const char* kService = "app.ovra.Ovra";
inline constexpr const char* kPath = "/app/ovra/Ovra";
inline constexpr const char* kInterface = "app.ovra.Ovra";
// The error name of a refusal; its message is the user-facing text.
inline constexpr const char* kFailed = "app.ovra.Ovra.Error.Failed";

QVariantMap toMap(const RemoteHelperStatus& status);
RemoteHelperStatus helperStatusFromMap(const QVariantMap& map);
QVariantMap toMap(const RemotePairingCode& code);
RemotePairingCode pairingCodeFromMap(const QVariantMap& map);
} // namespace DBusControlWire
