#pragma once
// A recording's file output: takes samples from the capture thread without ever waiting for
// the encoder or the disk, and encodes them into an AAC/M4A file on a thread of its own.
// Samples pushed before start() wait in memory, so capture can begin before the file exists.
#include "audio/AudioFile.h"

#include <QString>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <thread>
#include <vector>

class AacFileOutput
{
public:
    AacFileOutput(QString path, int sampleRate, int bitRate);
    ~AacFileOutput(); // discards the file unless finish() completed it
    AacFileOutput(const AacFileOutput&) = delete;
    AacFileOutput& operator=(const AacFileOutput&) = delete;

    // Capture thread. Dropped once the output failed or was closed.
    void push(std::span<const float> samples);
    // Opens the file and encodes on the output's thread. failed: called at most once, on that
    // thread, with the first error; nothing is written after it.
    void start(std::function<void(const AudioError&)> failed);
    // Blocking: encodes what is left and completes the file; the number of samples written.
    Expected<qint64, AudioError> finish();
    // Blocking: stops and removes the file.
    void discard();

    QString path() const { return m_path; }

private:
    void run();
    void close(bool keep);

    const QString m_path;
    const int m_sampleRate;
    const int m_bitRate;
    std::function<void(const AudioError&)> m_failed;

    std::mutex m_mutex; // guards the hand-over below only, never the encoding
    std::condition_variable m_wake;
    std::vector<float> m_pending;
    bool m_closing = false;
    std::atomic<bool> m_dead{false}; // failed or closed: push() drops samples

    std::thread m_thread;
    bool m_started = false;
    bool m_closed = false;
    std::optional<Expected<qint64, AudioError>> m_result; // set by the thread before it ends
};
