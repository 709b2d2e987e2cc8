#pragma once
// Cuts the silences out of a recording before it is transcribed: refuses a recording without
// speech, leaves one that is mostly speech as it is, and otherwise writes a shorter copy.
#include "transcription/SilenceTrimming.h"
#include "transcription/VoiceActivityDetector.h"

#include <QObject>
#include <QThreadPool>
#include <functional>
#include <memory>

class DebugLog;

class SilenceTrimmer : public QObject, public SilenceTrimming
{
    Q_OBJECT
public:
    // Called once, on the first recording long enough to need a detector.
    using DetectorLoader = std::function<Expected<std::unique_ptr<VoiceActivityDetector>, QString>()>;

    static constexpr qint64 kMinimumSamples = 1601; // 0.1 s and less goes out as it is
    static constexpr int kSampleRate = 16000;
    static constexpr int kBitRate = 40000;

    // tempFolder: where trimmed copies go (the process's temporary folder when empty).
    explicit SilenceTrimmer(DebugLog& log, DetectorLoader loader = {}, QString tempFolder = {},
                            QObject* parent = nullptr);
    ~SilenceTrimmer() override;

    QCoro::Task<TrimOutcome> trim(QString file) override;
    // The next trim asks the loader again (a detector model was downloaded or deleted).
    void reloadDetector();

private:
    struct Result;
    Result run(const QString& file);

    DebugLog& m_log;
    DetectorLoader m_loader;
    QString m_tempFolder;
    std::unique_ptr<VoiceActivityDetector> m_detector; // touched only by the pool's one thread
    QString m_loadError;
    // One thread: calls run one at a time, in order. Declared last so it drains first.
    QThreadPool m_pool;
};
