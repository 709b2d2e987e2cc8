#pragma once
// The microphone a dictation records from: the one chosen in "ovra.mac.inputDeviceID" while it
// is plugged in, otherwise the default input.
#include "platform/AudioCapture.h"
#include "store/AppSettingsKeys.h"
#include "store/Settings.h"

namespace InputDevice {

inline const QString kNoRecording = QStringLiteral("No audio was recorded.");

// The device id to capture from (empty: the default input); the error when there is no input at all.
inline Expected<QString, QString> choose(AudioCapture& capture, const Settings& settings)
{
    const auto devices = capture.devices();
    if (!devices || devices->isEmpty())
        return unexpected(kNoRecording);
    const QString wanted = settings.stringValue(AppSettingsKey::inputDeviceID).value_or(QString());
    for (const AudioInputDevice& d : devices.value())
        if (!wanted.isEmpty() && d.id == wanted)
            return wanted;
    return QString();
}

} // namespace InputDevice
