#pragma once
// The microphone a dictation records from: the one chosen in "ovra.mac.inputDeviceID" while it
// is plugged in, otherwise the default input.
#include "platform/AudioCapture.h"
#include "store/AppSettingsKeys.h"
#include "store/Settings.h"

namespace InputDevice {

inline const QString kNoRecording = QStringLiteral("No audio was recorded.");

// The device id to capture from (empty: the default input) given the one the user chose.
// Blocking (asks the sound server).
inline Expected<QString, CaptureError> choose(AudioCapture& capture, const QString& wanted)
{
    const auto devices = capture.devices();
    if (!devices)
        return unexpected(devices.error());
    if (devices->isEmpty())
        return unexpected(CaptureError{kNoRecording, CaptureError::Kind::noDevice});
    for (const AudioInputDevice& d : devices.value())
        if (!wanted.isEmpty() && d.id == wanted)
            return wanted;
    return QString();
}

inline QString chosenInSettings(const Settings& settings)
{
    return settings.stringValue(AppSettingsKey::inputDeviceID).value_or(QString());
}

// The error when there is no input at all: the sound server's own message when it cannot be
// reached (so that it is not mistaken for a missing microphone).
inline Expected<QString, QString> choose(AudioCapture& capture, const Settings& settings)
{
    auto device = choose(capture, chosenInSettings(settings));
    if (!device)
        return unexpected(device.error().message);
    return device.value();
}

} // namespace InputDevice
