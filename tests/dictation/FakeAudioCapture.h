#pragma once
// A capture the test feeds by hand; the calling thread plays the capture thread.
#include "platform/AudioCapture.h"

#include <atomic>
#include <vector>

class FakeAudioCapture : public AudioCapture
{
public:
    QList<AudioInputDevice> list{{"mic", "Micro intégré", true}};
    bool serverUp = true;
    QString startError;
    CaptureError::Kind startErrorKind = CaptureError::Kind::failed;
    QString startedDevice;
    Callbacks callbacks;
    std::shared_ptr<std::atomic<bool>> stopped = std::make_shared<std::atomic<bool>>(false);

    Expected<QList<AudioInputDevice>, CaptureError> devices() override
    {
        if (!serverUp)
            return unexpected(CaptureError{"Serveur son : connexion impossible (Connection refused)",
                                           CaptureError::Kind::serverUnreachable});
        return list;
    }
    Expected<std::unique_ptr<AudioCaptureSession>, CaptureError> start(const QString& id, Callbacks cb) override
    {
        if (!startError.isEmpty())
            return unexpected(CaptureError{startError, startErrorKind});
        startedDevice = id;
        callbacks = std::move(cb);
        stopped->store(false);
        return std::unique_ptr<AudioCaptureSession>(new Session(stopped));
    }

    // Delivers the samples in 20 ms blocks, as the sound server does.
    void push(const std::vector<float>& samples)
    {
        for (size_t at = 0; at < samples.size() && !stopped->load(); at += 320)
            callbacks.samples(std::span<const float>(samples.data() + at, std::min<size_t>(320, samples.size() - at)));
    }
    void end(const QString& why) { callbacks.ended(CaptureError{why}); }

private:
    struct Session : AudioCaptureSession
    {
        std::shared_ptr<std::atomic<bool>> flag;
        explicit Session(std::shared_ptr<std::atomic<bool>> f) : flag(std::move(f)) {}
        void stop() override { flag->store(true); }
    };
};
