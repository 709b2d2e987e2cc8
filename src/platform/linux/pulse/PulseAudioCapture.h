#pragma once
// Microphone capture through the PulseAudio client API (PipeWire serves it through
// pipewire-pulse). One connection to the sound server, made on first use and remade after
// the server went away; sources that monitor an output are not microphones.
#include "platform/AudioCapture.h"

struct pa_threaded_mainloop;
struct pa_context;

class PulseAudioCapture : public AudioCapture
{
public:
    PulseAudioCapture();
    ~PulseAudioCapture() override;
    PulseAudioCapture(const PulseAudioCapture&) = delete;
    PulseAudioCapture& operator=(const PulseAudioCapture&) = delete;

    Expected<QList<AudioInputDevice>, CaptureError> devices() override;
    Expected<std::unique_ptr<AudioCaptureSession>, CaptureError> start(const QString& deviceId,
                                                                       Callbacks callbacks) override;

private:
    // Called with the main loop locked.
    Expected<void, CaptureError> connectLocked();

    pa_threaded_mainloop* m_loop = nullptr;
    pa_context* m_context = nullptr;
};
