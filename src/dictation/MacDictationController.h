#pragma once
// Owns one dictation from the request to start until the text is delivered and stored: state,
// recorder or live recogniser, transcription, vocabulary, optional AI rewrite, history record,
// delivery and the return to idle. Also transcribes audio files and rewrites selected text.
#include "DictationControl.h"
#include "ai/ChatClient.h"
#include "store/Records.h"
#include "transcription/Transcriber.h"

#include <QObject>
#include <QUuid>
#include <chrono>
#include <functional>
#include <optional>

class AudioRecorder;
class AutoSendModes;
class CategorizationTrigger;
class DictationDelivery;
class EscapeMonitors;
class FailedRecordings;
class KeptRecordings;
struct FailedRecording;
class LearningTrigger;
class LiveRecognizer;
class MediaPauser;
class Notifications;
class OfflineQueue;
class RecordStore;
class RecorderPanel;
class Settings;
class SoundPlayer;
class StatsRefresher;
struct DictationLevelStats;

class MacDictationController : public QObject, public DictationControl
{
    Q_OBJECT
    Q_PROPERTY(RecordingState state READ state NOTIFY stateChanged)
    Q_PROPERTY(QString errorMessage READ errorMessageText NOTIFY errorMessageChanged)
    Q_PROPERTY(QString lastText READ lastTextValue NOTIFY lastTextChanged)
public:
    using Trigger = DictationTrigger;

    static constexpr double kMinimumRecordingSeconds = 0.5;
    static constexpr int kDifficultMinimumSamples = 20;
    static constexpr double kDifficultLowMean = 0.09;
    static constexpr double kDifficultLoudMean = 0.22;
    static constexpr double kDifficultFlatVariance = 0.0008;
    static constexpr std::chrono::milliseconds kResetDelay{1200};
    static constexpr const char* kSoundsKey = "ovra.mac.sounds";

    static QString micPermissionMessage();
    static QString tooShortMessage();
    static QString offlineMessage();
    static QString aiFailedPrefix();
    static QString pasteUntrustedMessage();
    static QString selectionUntrustedMessage();
    static QString emptySelectionMessage();
    static QString difficultAudioPrompt();
    static QString emptyRewriteMessage();
    static QString noFailedRecordingMessage();
    // Appended to a transcription error: where the recording of the failed dictation is.
    static QString keptRecordingSuffix(const QString& path);

    // Loud-and-flat or weak audio, once there are enough level samples.
    static bool isDifficult(const DictationLevelStats& stats);

    struct Collaborators
    {
        AudioRecorder& recorder;
        LiveRecognizer& live;
        DictationDelivery& delivery;
        RecorderPanel& panel;
        MediaPauser& media;
        EscapeMonitors& escape;
        SoundPlayer& sounds;
        AutoSendModes& autoSend;
        // Created on first use.
        std::function<Transcriber&()> transcriber;
        std::function<ChatClient&()> chat;
        OfflineQueue* offlineQueue = nullptr;
        CategorizationTrigger* categorization = nullptr;
        LearningTrigger* learning = nullptr;
        StatsRefresher* stats = nullptr;
        // Duration in seconds of an audio file; 0 when it cannot be read. Defaults to the decoder.
        std::function<QCoro::Task<double>(QString)> mediaDuration;
        // Where the recordings of failed dictations are kept; none: they stay where they are.
        FailedRecordings* failedRecordings = nullptr;
        // Where the recordings of stored dictations go once used; none: they stay where they are.
        KeptRecordings* keptRecordings = nullptr;
    };

    MacDictationController(Collaborators collaborators, Settings& settings, Notifications& notifications,
                           QObject* parent = nullptr);
    ~MacDictationController() override;

    // Without a store, stop only resets.
    void attachStore(RecordStore* store) { m_store = store; }

    RecordingState state() const override { return m_state; }
    const std::optional<QString>& errorMessage() const { return m_errorMessage; }
    bool errorIsMicPermission() const { return m_errorIsMicPermission; }
    const std::optional<QString>& lastText() const { return m_lastText; }
    bool liveModeActive() const { return m_liveModeActive; }
    Trigger currentTrigger() const { return m_currentTrigger; }
    const std::optional<QUuid>& activeModeID() const { return m_activeModeID; }

    // The active mode, the first one otherwise; creates "Normal" when there is none.
    std::optional<TranscriptionMode> currentMode();
    void setActiveMode(const TranscriptionMode& mode) override;

    QCoro::Task<> start(Trigger trigger) override;
    QCoro::Task<> stop() override;
    void cancel() override;
    // mode: this mode instead of the active one (the command line's --mode and overrides).
    QCoro::Task<> transcribeFile(QString path, std::optional<TranscriptionMode> mode = std::nullopt);
    QCoro::Task<> transformSelection(QString instruction) override;

    // Recordings of failed dictations, newest first ("Réessayer" offers the first).
    QList<FailedRecording> failedRecordings() const;
    // The recording kept by the failure the current message reports; cleared with the message.
    const std::optional<QUuid>& lastFailedRecordingID() const { return m_lastFailedRecordingID; }
    // Transcribes a kept recording again (the newest without an id) with the mode it was made
    // in, as a dictation started from the window; it is no longer kept once that succeeds.
    QCoro::Task<> retryFailed(std::optional<QUuid> id = std::nullopt);

    // A return to idle is scheduled and not yet run or cancelled.
    bool resetPending() const { return m_resetPending; }
    // The dictation record the last pipeline stored.
    const std::optional<QUuid>& lastTranscriptionID() const { return m_lastTranscriptionID; }

Q_SIGNALS:
    void stateChanged(RecordingState state);
    void errorMessageChanged();
    void lastTextChanged();

private:
    struct PipelineInput
    {
        std::optional<QString> audioFile;
        std::optional<QString> liveText;
        double duration = 0;
        TranscriptionMode mode;
        bool allowOfflineQueue = false;
        bool difficult = false;
        // The recording is ours: kept when its transcription fails.
        bool keepOnFailure = false;
        // A kept recording transcribed again.
        std::optional<QUuid> retryOf;
    };

    QCoro::Task<> process(PipelineInput input);
    QString resolvedPrompt(const TranscriptionMode& mode) const;
    std::optional<QUuid> presetInUse(const TranscriptionMode& mode) const;
    void deliver(const QString& text, const TranscriptionMode& mode);
    void finish();
    QString keepFailedRecording(const PipelineInput& in, const QString& error);

    void setState(RecordingState s);
    void setError(std::optional<QString> message, bool micPermission = false);
    void clearMessages();
    void setLastText(const QString& text);
    bool soundsOn() const;
    void cancelReset();
    QCoro::Task<> resetLater(quint64 generation);
    void adoptSyncedActiveMode();
    static std::optional<QUuid> parseModeID(const std::optional<QString>& text);

    QString errorMessageText() const { return m_errorMessage.value_or(QString()); }
    QString lastTextValue() const { return m_lastText.value_or(QString()); }

    Collaborators m_c;
    Settings& m_settings;
    RecordStore* m_store = nullptr;

    RecordingState m_state = RecordingState::idle;
    std::optional<QString> m_errorMessage;
    bool m_errorIsMicPermission = false;
    std::optional<QString> m_lastText;
    bool m_liveModeActive = false;
    Trigger m_currentTrigger = Trigger::window;
    quint64 m_resetGeneration = 0;
    bool m_resetPending = false;
    std::optional<QUuid> m_activeModeID;
    std::optional<QUuid> m_lastTranscriptionID;
    std::optional<QUuid> m_lastFailedRecordingID;
    // The recorder or live recogniser is being stopped; a cancel meanwhile discards the result.
    bool m_stopping = false;
    quint64 m_stopSerial = 0;
    std::optional<quint64> m_cancelledStop;
};
