#pragma once
// Live dictation with the system recogniser: streams the microphone into it while the user
// speaks, shows the text as it grows and hands over the final text at stop. Publishes the same
// level meter and statistics as the recorder.
#include "dictation/LiveRecognizer.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <chrono>
#include <memory>

class AudioCapture;
class AudioCaptureSession;
class Settings;
class SpeechEngine;

class MacLiveTranscriber : public QObject, public LiveRecognizer
{
    Q_OBJECT
    Q_PROPERTY(bool isRunning READ isRunning NOTIFY isRunningChanged)
    Q_PROPERTY(QString partialText READ partialText NOTIFY partialTextChanged)
    Q_PROPERTY(double elapsed READ elapsed NOTIFY elapsedChanged)
    Q_PROPERTY(float currentLevel READ currentLevel NOTIFY currentLevelChanged)

public:
    static inline const QString kAuthorizationDenied =
        QStringLiteral("Autorise la reconnaissance vocale pour Ovra dans Réglages Système → Confidentialité.");
    static inline const QString kRecognizerUnavailable =
        QStringLiteral("La reconnaissance vocale n'est pas disponible pour cette langue sur ce Mac.");
    // The recogniser gets this long after the end of the audio; then the text so far is kept.
    static constexpr std::chrono::milliseconds kFinalWait{10000};

    MacLiveTranscriber(AudioCapture& capture, SpeechEngine& engine, Settings& settings,
                       std::chrono::milliseconds finalWait = kFinalWait, QObject* parent = nullptr);
    ~MacLiveTranscriber() override;

    QCoro::Task<Expected<void, QString>> start(QString language) override;
    QCoro::Task<> stop() override;
    void cancel() override;

    bool isRunning() const override { return m_running; }
    double elapsed() const override { return m_elapsed; }
    QString finalText() const override { return m_finalText; }
    DictationLevelStats levelStats() const override { return m_levelStats; }
    QString partialText() const { return m_partialText; }
    float currentLevel() const { return m_currentLevel; }

Q_SIGNALS:
    void isRunningChanged();
    void partialTextChanged();
    void elapsedChanged();
    void currentLevelChanged();
    void finished(const QString& text); // the recogniser's final answer after stop

private:
    class Session;
    void onLevel(float level);
    void onText(const QString& text);
    void onFinal(const QString& text);
    void setElapsed(double seconds);
    void setRunning(bool on);
    void stopCapture();

    AudioCapture& m_capture;
    SpeechEngine& m_engine;
    Settings& m_settings;
    std::chrono::milliseconds m_finalWait;
    std::shared_ptr<Session> m_session;
    std::shared_ptr<AudioCaptureSession> m_captureSession;
    QElapsedTimer m_clock;
    QTimer m_elapsedTimer;
    bool m_running = false;
    bool m_starting = false;
    bool m_finalReady = false;
    double m_elapsed = 0;
    QString m_partialText;
    QString m_finalText;
    float m_currentLevel = 0;
    DictationLevelStats m_levelStats;
};
