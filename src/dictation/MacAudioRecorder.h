#pragma once
// Records one dictation from the microphone into an AAC/M4A file in the temporary folder,
// encoding while it records, and publishes the elapsed time and the input level.
#include "dictation/AudioRecorder.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <memory>

class AudioCapture;
class AudioCaptureSession;
class Settings;

class MacAudioRecorder : public QObject, public AudioRecorder
{
    Q_OBJECT
    Q_PROPERTY(bool isRecording READ isRecording NOTIFY isRecordingChanged)
    Q_PROPERTY(double elapsed READ elapsed NOTIFY elapsedChanged)
    Q_PROPERTY(QString lastRecordingURL READ lastRecordingURL NOTIFY lastRecordingURLChanged)
    Q_PROPERTY(float currentLevel READ currentLevel NOTIFY currentLevelChanged)

public:
    static constexpr int kSampleRate = 16000;
    static constexpr int kBitRate = 40000;
    // A recording cut short by the device or the disk is kept only from this length on.
    static constexpr double kMinimumKeptSeconds = 0.5;
    static inline const QString kNoRecording = QStringLiteral("No audio was recorded.");

    // folder: where recordings go (the process's temporary folder when empty).
    MacAudioRecorder(AudioCapture& capture, Settings& settings, QString folder = {}, QObject* parent = nullptr);
    ~MacAudioRecorder() override;

    QCoro::Task<bool> requestPermission() override;
    Expected<void, QString> start() override;
    QCoro::Task<std::optional<QString>> stop() override;
    void cancel() override;

    bool isRecording() const override { return m_recording; }
    double elapsed() const override { return m_elapsed; }
    DictationLevelStats levelStats() const override { return m_levelStats; }
    QString lastRecordingURL() const { return m_lastRecording; }
    float currentLevel() const { return m_currentLevel; }
    // Why the capture ended before stop() (device gone, disk full); empty otherwise.
    QString interruption() const { return m_interruption; }

Q_SIGNALS:
    void isRecordingChanged();
    void elapsedChanged();
    void lastRecordingURLChanged();
    void currentLevelChanged();
    // The capture ended on its own; what was recorded waits for stop().
    void interrupted(const QString& message);

private:
    struct Shared;
    void meterTick();
    void onCaptureEnded(const QString& message);
    void setElapsed(double seconds);
    void setRecording(bool on);

    AudioCapture& m_capture;
    Settings& m_settings;
    QString m_folder;
    std::shared_ptr<Shared> m_shared;
    std::shared_ptr<AudioCaptureSession> m_session;
    QElapsedTimer m_clock;
    QTimer m_elapsedTimer;
    QTimer m_levelTimer;
    bool m_recording = false;
    double m_elapsed = 0;
    QString m_lastRecording;
    float m_currentLevel = 0;
    DictationLevelStats m_levelStats;
    QString m_interruption;
};
