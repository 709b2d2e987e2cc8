#pragma once
// The microphone recorder as the dictation controller drives it; the PulseAudio recorder
// implements it.
#include "store/Expected.h"

#include <QCoroTask>
#include <QString>
#include <optional>

// Running statistics of the level meter (values 0 to 1) over one recording.
struct DictationLevelStats
{
    int count = 0;
    double mean = 0;
    // Sum of squared deviations from the mean (Welford).
    double m2 = 0;

    void add(double level)
    {
        ++count;
        const double delta = level - mean;
        mean += delta / count;
        m2 += delta * (level - mean);
    }
};

class AudioRecorder
{
public:
    virtual ~AudioRecorder() = default;
    // Asks for microphone access (the desktop may ask the user); false when refused.
    virtual QCoro::Task<bool> requestPermission() = 0;
    // error: the message shown to the user.
    virtual Expected<void, QString> start() = 0;
    // The recorded file, or none when nothing was written.
    virtual QCoro::Task<std::optional<QString>> stop() = 0;
    // Stops and discards the recording.
    virtual void cancel() = 0;
    virtual bool isRecording() const = 0;
    // Seconds recorded so far (or of the last recording once stopped).
    virtual double elapsed() const = 0;
    virtual DictationLevelStats levelStats() const = 0;
};
