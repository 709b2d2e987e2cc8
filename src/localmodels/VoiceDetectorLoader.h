#pragma once
// Chooses the silence trimmer's voice detector, once, on the trimmer's own thread: Silero when
// its model file was downloaded and loads, the energy detector otherwise.
#include "transcription/VoiceActivityDetector.h"

#include <QString>
#include <memory>

class DebugLog;

class VoiceDetectorLoader
{
public:
    VoiceDetectorLoader(QString sileroModelFile, DebugLog& log, int threads)
        : m_file(std::move(sileroModelFile)), m_log(&log), m_threads(threads)
    {
    }

    Expected<std::unique_ptr<VoiceActivityDetector>, QString> operator()() const;

private:
    QString m_file;
    DebugLog* m_log;
    int m_threads;
};
