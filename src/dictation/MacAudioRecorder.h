#pragma once
// Records one dictation from the microphone into an AAC/M4A file, encoding while it records,
// and publishes the elapsed time and the input level.
//
// The main thread never waits for the sound server, the encoder or the disk: requestPermission()
// opens the capture on a thread of the recorder's own (so it begins the moment the shortcut is
// pressed, whatever else keeps the shared thread pool busy) and start() only adopts it; the
// samples are encoded on the file output's thread and the meter reads an atomic level.
#include "dictation/AudioRecorder.h"

#include <QElapsedTimer>
#include <QObject>
#include <QThreadPool>
#include <QTimer>
#include <memory>

class AudioCapture;
class Settings;
struct CaptureError;

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
    // A capture opened by requestPermission() waits this long for start(), then closes.
    static constexpr int kPreparedCaptureMs = 3000;
    static inline const QString kNoRecording = QStringLiteral("No audio was recorded.");

    // folder: where recordings in progress go (RecordingFolder::inProgress() when empty).
    MacAudioRecorder(AudioCapture& capture, Settings& settings, QString folder = {}, QObject* parent = nullptr);
    ~MacAudioRecorder() override;

    // Connects to the sound server ahead of the first dictation, off the main thread, so that
    // the first shortcut does not pay for the connection.
    void prewarm();
    // False only when the microphone is refused; an unreachable sound server or a missing
    // microphone is start()'s error, with its own message.
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
    struct Take;
    struct Link;
    using Prepared = Expected<std::shared_ptr<Take>, CaptureError>;
    static Prepared prepare(AudioCapture& capture, const QString& wantedDevice, const QString& folder,
                            std::shared_ptr<Link> link, quint64 id);
    void dropPrepared();
    void retire(std::shared_ptr<Take> take, bool keepFile);
    void meterTick();
    void onCaptureEnded(quint64 take, const QString& message);
    void setElapsed(double seconds);
    void setRecording(bool on);

    AudioCapture& m_capture;
    Settings& m_settings;
    QString m_folder;
    std::shared_ptr<Link> m_link;
    quint64 m_nextId = 0;
    std::unique_ptr<Prepared> m_prepared;
    QTimer m_preparedExpiry;
    std::shared_ptr<Take> m_take;
    QElapsedTimer m_clock;
    QTimer m_elapsedTimer;
    QTimer m_levelTimer;
    bool m_recording = false;
    double m_elapsed = 0;
    QString m_lastRecording;
    float m_currentLevel = 0;
    DictationLevelStats m_levelStats;
    QString m_interruption;
    // Opening captures and closing files: never the shared pool, whose threads may all be
    // busy (recognition, sounds, the keyring) when the shortcut is pressed.
    QThreadPool m_workers;
};
