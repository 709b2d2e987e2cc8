#pragma once
// Microphone capture: the input devices and a running capture delivering 16 kHz mono float
// samples on a capture thread.
#include "store/Expected.h"

#include <QList>
#include <QString>
#include <functional>
#include <memory>
#include <span>

struct AudioInputDevice
{
    QString id;          // the platform's unique name, stored in "ovra.mac.inputDeviceID"
    QString description; // for people
    bool isDefault = false;
};

struct CaptureError
{
    enum class Kind {
        failed,
        serverUnreachable, // no sound server to talk to: not a refused permission
        accessDenied,      // the sound server (or the desktop's portal) refused the microphone
        noDevice,          // no microphone at all
    };
    QString message;
    Kind kind = Kind::failed;
};

// Stops capturing when destroyed; no callback runs after stop() returns.
class AudioCaptureSession
{
public:
    virtual ~AudioCaptureSession() = default;
    virtual void stop() = 0;
};

class AudioCapture
{
public:
    static constexpr int kSampleRate = 16000;

    struct Callbacks
    {
        // Capture thread; must not block for long.
        std::function<void(std::span<const float>)> samples;
        // The capture ended on its own (device gone, server gone); capture thread, at most once.
        std::function<void(const CaptureError&)> ended;
    };

    virtual ~AudioCapture() = default;
    // Microphones only: monitors of outputs are left out. Blocking.
    virtual Expected<QList<AudioInputDevice>, CaptureError> devices() = 0;
    // deviceId empty: the default input. Blocking: returns once samples flow into the callbacks.
    virtual Expected<std::unique_ptr<AudioCaptureSession>, CaptureError> start(const QString& deviceId,
                                                                               Callbacks callbacks) = 0;
};
