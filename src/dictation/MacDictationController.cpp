#include "MacDictationController.h"

#include "AudioRecorder.h"
#include "AutoSendModes.h"
#include "DictationDelivery.h"
#include "EscapeMonitors.h"
#include "FailedRecordings.h"
#include "KeptRecordings.h"
#include "LiveRecognizer.h"
#include "MediaPauser.h"
#include "RecorderPanel.h"
#include "ai/AIProviderSettings.h"
#include "ai/CategorizationTrigger.h"
#include "ai/DictionaryInjector.h"
#include "ai/LearningTrigger.h"
#include "ai/PostProcessMetaParser.h"
#include "ai/RewritePrompt.h"
#include "audio/AudioFile.h"
#include "platform/SoundPlayer.h"
#include "stats/StatsRefresher.h"
#include "store/Notifications.h"
#include "store/RecordStore.h"
#include "store/Settings.h"
#include "transcription/OfflineQueue.h"

#include <QCoroFuture>
#include <QCoroTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QPointer>
#include <QtConcurrent/QtConcurrentRun>

namespace {

bool isOnDevice(TranscriptionProvider p)
{
    return p == TranscriptionProvider::apple || p == TranscriptionProvider::parakeet ||
           p == TranscriptionProvider::whisperKit;
}

QCoro::Task<double> decodedDuration(QString path)
{
    auto future = QtConcurrent::run([path] { return AudioFile::duration(path); });
    const auto d = co_await future;
    co_return d.hasValue() ? d.value() : 0.0;
}

double secondsSince(const QElapsedTimer& t) { return double(t.nsecsElapsed()) / 1e9; }

} // namespace

QString MacDictationController::micPermissionMessage()
{
    return QStringLiteral("Autorise le micro pour Ovra dans Réglages Système → Confidentialité → Microphone.");
}
QString MacDictationController::tooShortMessage()
{
    return QStringLiteral("Dictée trop courte — rien n'a été entendu.");
}
QString MacDictationController::offlineMessage()
{
    return QStringLiteral("Hors-ligne — la dictée sera transcrite au retour du réseau.");
}
QString MacDictationController::aiFailedPrefix()
{
    return QStringLiteral("Amélioration IA échouée — transcription brute conservée. ");
}
QString MacDictationController::pasteUntrustedMessage()
{
    return QStringLiteral("Texte copié — autorise Ovra dans Réglages Système → Confidentialité → Accessibilité pour "
                          "le collage automatique.");
}
QString MacDictationController::selectionUntrustedMessage()
{
    return QStringLiteral(
        "Autorise Ovra dans Réglages Système → Confidentialité → Accessibilité pour transformer la sélection.");
}
QString MacDictationController::emptySelectionMessage()
{
    return QStringLiteral("Sélectionne du texte d'abord, puis relance la transformation.");
}
QString MacDictationController::difficultAudioPrompt()
{
    return QStringLiteral("Corrige uniquement l'orthographe, la grammaire, la ponctuation et les mots visiblement mal "
                          "reconnus par la transcription (l'audio était faible ou bruité). Ne change ni le sens, ni "
                          "le ton, ni la structure du texte.");
}

QString MacDictationController::emptyRewriteMessage()
{
    return QStringLiteral("L'IA n'a renvoyé aucun texte — la sélection est restée telle quelle.");
}
QString MacDictationController::noFailedRecordingMessage()
{
    return QStringLiteral("Aucune dictée échouée à réessayer.");
}
QString MacDictationController::keptRecordingSuffix(const QString& path)
{
    return QStringLiteral(" — Enregistrement conservé : ") + path + QStringLiteral(" (« Réessayer » pour le transcrire à nouveau).");
}

bool MacDictationController::isDifficult(const DictationLevelStats& s)
{
    if (s.count < kDifficultMinimumSamples)
        return false;
    if (s.mean < kDifficultLowMean)
        return true;
    return s.mean > kDifficultLoudMean && s.m2 / (s.count - 1) < kDifficultFlatVariance;
}

MacDictationController::MacDictationController(Collaborators collaborators, Settings& settings,
                                               Notifications& notifications, QObject* parent)
    : QObject(parent), m_c(std::move(collaborators)), m_settings(settings)
{
    if (!m_c.mediaDuration)
        m_c.mediaDuration = decodedDuration;
    m_activeModeID = parseModeID(m_settings.stringValue(SharedDefaultsKey::activeModeID));
    connect(&notifications, &Notifications::cloudSettingsDidSync, this,
            &MacDictationController::adoptSyncedActiveMode);
    // `ovra modes activate` in another process changes the setting under us.
    connect(&m_settings, &Settings::changed, this, [this](const QString& key) {
        if (key == SharedDefaults::key(SharedDefaultsKey::activeModeID))
            adoptSyncedActiveMode();
    });
}

MacDictationController::~MacDictationController() = default;

std::optional<QUuid> MacDictationController::parseModeID(const std::optional<QString>& text)
{
    if (!text)
        return std::nullopt;
    const QUuid id = QUuid::fromString(*text);
    if (id.isNull())
        return std::nullopt;
    return id;
}

void MacDictationController::adoptSyncedActiveMode()
{
    const auto synced = parseModeID(m_settings.stringValue(SharedDefaultsKey::activeModeID));
    if (synced && synced != m_activeModeID)
        m_activeModeID = synced;
}

// --- State and messages ---------------------------------------------------------------------

void MacDictationController::setState(RecordingState s)
{
    if (m_state == s)
        return;
    m_state = s;
    Q_EMIT stateChanged(s);
}

void MacDictationController::setError(std::optional<QString> message, bool micPermission)
{
    if (m_errorIsMicPermission != micPermission)
        m_errorIsMicPermission = micPermission;
    if (m_errorMessage == message)
        return;
    m_errorMessage = std::move(message);
    Q_EMIT errorMessageChanged();
}

void MacDictationController::clearMessages()
{
    m_lastFailedRecordingID.reset();
    setError(std::nullopt);
}

void MacDictationController::setLastText(const QString& text)
{
    if (m_lastText == text)
        return;
    m_lastText = text;
    Q_EMIT lastTextChanged();
}

bool MacDictationController::soundsOn() const { return m_settings.boolValue(QLatin1String(kSoundsKey), true); }

void MacDictationController::cancelReset()
{
    ++m_resetGeneration;
    m_resetPending = false;
}

QCoro::Task<> MacDictationController::resetLater(quint64 generation)
{
    QPointer<MacDictationController> self(this);
    co_await QCoro::sleepFor(kResetDelay);
    if (!self || m_resetGeneration != generation)
        co_return;
    m_resetPending = false;
    setState(RecordingState::idle);
    m_c.panel.hide();
}

void MacDictationController::finish()
{
    setState(RecordingState::finished);
    if (soundsOn())
        m_c.sounds.play(SystemSound::glass);
    cancelReset();
    m_resetPending = true;
    resetLater(m_resetGeneration);
}

// --- Modes ----------------------------------------------------------------------------------

std::optional<TranscriptionMode> MacDictationController::currentMode()
{
    if (!m_store)
        return std::nullopt;
    const QList<TranscriptionMode> modes = m_store->fetch<TranscriptionMode>({}, {{QStringLiteral("sortOrder"), true}});
    if (modes.isEmpty()) {
        TranscriptionMode normal;
        normal.name = QStringLiteral("Normal");
        normal.icon = QStringLiteral("waveform");
        normal.transcriptionModel = QStringLiteral("whisper-large-v3-turbo");
        normal.aiModel = QStringLiteral("claude-haiku-4-5");
        (void)m_store->save([&] { return m_store->insert(normal); });
        return normal;
    }
    if (m_activeModeID) {
        for (const TranscriptionMode& m : modes)
            if (m.id == *m_activeModeID)
                return m;
    }
    return modes.first();
}

void MacDictationController::setActiveMode(const TranscriptionMode& mode)
{
    m_activeModeID = mode.id;
    m_settings.setValue(SharedDefaultsKey::activeModeID, uuidText(mode.id));
    m_settings.setValue(SharedDefaultsKey::activeModeName, mode.name);
}

std::optional<QUuid> MacDictationController::presetInUse(const TranscriptionMode& mode) const
{
    if (!mode.promptPresetID || !m_store || !m_store->find<PromptPreset>(*mode.promptPresetID))
        return std::nullopt;
    return mode.promptPresetID;
}

QString MacDictationController::resolvedPrompt(const TranscriptionMode& mode) const
{
    if (mode.promptPresetID && m_store) {
        if (const auto preset = m_store->find<PromptPreset>(*mode.promptPresetID))
            return preset->prompt;
    }
    return mode.promptTemplate;
}

// --- Start, stop, cancel ---------------------------------------------------------------------

QCoro::Task<> MacDictationController::start(Trigger trigger)
{
    QPointer<MacDictationController> self(this);
    cancelReset();
    clearMessages();
    const bool granted = co_await m_c.recorder.requestPermission();
    if (!self)
        co_return;
    if (!granted) {
        setError(micPermissionMessage(), true);
        co_return;
    }
    if ((m_state != RecordingState::idle && m_state != RecordingState::finished) || m_c.recorder.isRecording() ||
        m_c.live.isRunning())
        co_return;

    const std::optional<TranscriptionMode> mode = currentMode();
    const bool live = mode && mode->transcriptionProviderRaw == rawValue(TranscriptionProvider::apple) &&
                      mode->liveTranscription;
    if (live) {
        auto starting = m_c.live.start(mode->language);
        const auto started = co_await starting;
        if (!self)
            co_return;
        if (!started) {
            setError(started.error());
            co_return;
        }
        m_liveModeActive = true;
    } else {
        const auto started = m_c.recorder.start();
        if (!started) {
            setError(started.error());
            co_return;
        }
        m_liveModeActive = false;
    }

    m_currentTrigger = trigger;
    setState(RecordingState::recording);
    m_c.escape.install();
    m_c.media.pause();
    if (soundsOn())
        m_c.sounds.play(SystemSound::pop);
    if (trigger == Trigger::hotkey)
        m_c.panel.show();
}

QCoro::Task<> MacDictationController::stop()
{
    QPointer<MacDictationController> self(this);
    m_c.escape.remove();
    // A second stop while the first is still finishing the recording.
    if (m_stopping)
        co_return;
    if (m_state != RecordingState::recording || !m_store) {
        if (m_liveModeActive) {
            m_c.live.cancel();
            m_liveModeActive = false;
        } else if (m_c.recorder.isRecording()) {
            m_c.recorder.cancel();
        }
        setState(RecordingState::idle);
        m_c.panel.hide();
        m_c.media.resume();
        co_return;
    }

    m_stopping = true;
    const quint64 serial = ++m_stopSerial;
    if (m_liveModeActive) {
        m_liveModeActive = false;
        co_await m_c.live.stop();
        if (!self || m_cancelledStop == serial)
            co_return;
        m_stopping = false;
        m_c.media.resume();
        const double elapsed = m_c.live.elapsed();
        const QString text = m_c.live.finalText();
        const std::optional<TranscriptionMode> mode =
            elapsed >= kMinimumRecordingSeconds && !text.isEmpty() ? currentMode() : std::nullopt;
        if (!mode) {
            setState(RecordingState::idle);
            m_c.panel.hide();
            if (text.isEmpty())
                setError(tooShortMessage());
            co_return;
        }
        setState(RecordingState::transcribing);
        auto pipeline = process({std::nullopt, text, elapsed, *mode, true, isDifficult(m_c.live.levelStats())});
        co_await pipeline;
        co_return;
    }

    const std::optional<QString> file = co_await m_c.recorder.stop();
    if (!self)
        co_return;
    if (m_cancelledStop == serial) {
        // Cancelled while the file was being finished: nothing of it is used.
        if (file)
            QFile::remove(*file);
        co_return;
    }
    m_stopping = false;
    if (!file) {
        setState(RecordingState::idle);
        m_c.panel.hide();
        m_c.media.resume();
        co_return;
    }
    m_c.media.resume();
    const double elapsed = m_c.recorder.elapsed();
    if (elapsed < kMinimumRecordingSeconds) {
        setState(RecordingState::idle);
        setError(tooShortMessage());
        m_c.panel.hide();
        QFile::remove(*file);
        co_return;
    }
    const std::optional<TranscriptionMode> mode = currentMode();
    if (!mode) {
        setState(RecordingState::idle);
        m_c.panel.hide();
        QFile::remove(*file);
        co_return;
    }
    setState(RecordingState::transcribing);
    PipelineInput input{*file, std::nullopt, elapsed, *mode, true, isDifficult(m_c.recorder.levelStats())};
    input.keepOnFailure = true;
    auto pipeline = process(std::move(input));
    co_await pipeline;
}

void MacDictationController::cancel()
{
    if (m_state != RecordingState::recording)
        return;
    m_c.escape.remove();
    if (m_stopping) {
        // The recorder is already finishing its file; telling it to discard now would hit the
        // file it last yielded. The stop drops the result when it comes.
        m_cancelledStop = m_stopSerial;
        m_stopping = false;
    } else if (m_liveModeActive) {
        m_c.live.cancel();
        m_liveModeActive = false;
    } else {
        m_c.recorder.cancel();
    }
    setState(RecordingState::idle);
    m_c.panel.hide();
    m_c.media.resume();
}

// --- File transcription and selection transform -----------------------------------------------

QCoro::Task<> MacDictationController::transcribeFile(QString path, std::optional<TranscriptionMode> chosen)
{
    QPointer<MacDictationController> self(this);
    if (m_state != RecordingState::idle && m_state != RecordingState::finished)
        co_return;
    cancelReset();
    clearMessages();
    const std::optional<TranscriptionMode> mode = chosen && m_store ? chosen : currentMode();
    if (!mode)
        co_return;
    m_currentTrigger = Trigger::window;
    setState(RecordingState::transcribing);
    auto reading = m_c.mediaDuration(path);
    const double duration = co_await reading;
    if (!self)
        co_return;
    auto pipeline = process({path, std::nullopt, duration, *mode, false, false});
    co_await pipeline;
}

QCoro::Task<> MacDictationController::transformSelection(QString instruction)
{
    QPointer<MacDictationController> self(this);
    if (m_state != RecordingState::idle && m_state != RecordingState::finished)
        co_return;
    cancelReset();
    clearMessages();
    if (!m_c.delivery.isTrusted()) {
        m_c.delivery.requestTrust();
        setError(selectionUntrustedMessage());
        co_return;
    }
    const std::optional<QString> selection = co_await m_c.delivery.readSelectedText();
    if (!self)
        co_return;
    if (!selection || selection->trimmed().isEmpty()) {
        m_c.sounds.play(SystemSound::beep);
        setError(emptySelectionMessage());
        co_return;
    }
    setState(RecordingState::enhancing);
    m_c.panel.show();

    const QList<DictionaryEntry> entries = m_store ? m_store->fetch<DictionaryEntry>() : QList<DictionaryEntry>{};
    const QString vocabulary = DictionaryInjector::vocabularyBlock(entries);
    const AIChoice choice = AIProviderSettings::forSelectionTransform(currentMode(), m_settings);
    const RewriteRequest request = RewritePrompt::buildRewriteRequest(instruction, *selection, vocabulary, {});
    auto sending = m_c.chat().send(request.messages, choice.model, request.system, RewritePrompt::kRewriteMaxTokens,
                                   choice.provider);
    const auto answer = co_await sending;
    if (!self)
        co_return;
    if (!answer) {
        setError(answer.error().errorDescription());
        setState(RecordingState::idle);
        m_c.panel.hide();
        co_return;
    }
    const QString text = PostProcessMetaParser::parse(*answer).text;
    // Pasting nothing would delete the user's selection.
    if (text.trimmed().isEmpty()) {
        m_c.sounds.play(SystemSound::beep);
        setError(emptyRewriteMessage());
        setState(RecordingState::idle);
        m_c.panel.hide();
        co_return;
    }
    setLastText(text);
    auto released = m_c.delivery.keysReleased();
    co_await released;
    if (!self)
        co_return;
    if (!m_c.delivery.pasteAtCursor(text))
        setError(pasteUntrustedMessage());
    finish();
}

// --- Failed dictations -------------------------------------------------------------------------

QList<FailedRecording> MacDictationController::failedRecordings() const
{
    return m_c.failedRecordings ? m_c.failedRecordings->list() : QList<FailedRecording>{};
}

QCoro::Task<> MacDictationController::retryFailed(std::optional<QUuid> id)
{
    if (m_state != RecordingState::idle && m_state != RecordingState::finished)
        co_return;
    cancelReset();
    clearMessages();
    std::optional<FailedRecording> failed;
    if (m_c.failedRecordings)
        failed = id ? m_c.failedRecordings->find(*id) : m_c.failedRecordings->last();
    if (!failed) {
        setError(noFailedRecordingMessage());
        co_return;
    }
    // The mode the dictation was made in, unless it was deleted since.
    std::optional<TranscriptionMode> mode;
    if (failed->modeID && m_store)
        mode = m_store->find<TranscriptionMode>(*failed->modeID);
    if (!mode)
        mode = currentMode();
    if (!mode)
        co_return;
    m_currentTrigger = Trigger::window;
    setState(RecordingState::transcribing);
    PipelineInput input{failed->audioFile, std::nullopt, failed->duration, *mode, false, false};
    input.retryOf = failed->id;
    auto pipeline = process(std::move(input));
    co_await pipeline;
}

// --- The pipeline after a recording -------------------------------------------------------------

QCoro::Task<> MacDictationController::process(PipelineInput in)
{
    QPointer<MacDictationController> self(this);
    if (!m_store) {
        setState(RecordingState::idle);
        m_c.panel.hide();
        co_return;
    }
    const TranscriptionMode& mode = in.mode;
    QList<DictionaryEntry> entries = m_store->fetch<DictionaryEntry>();

    // 1-2. Raw text.
    QString raw;
    std::optional<double> transcriptionSeconds;
    std::optional<double> transcriptionCost;
    if (in.liveText) {
        raw = *in.liveText;
    } else if (in.audioFile) {
        // A provider this build does not know (a mode synced from a newer version) gets the
        // platform recogniser, the fallback of every provider.
        const auto known = transcriptionProviderFromRaw(mode.transcriptionProviderRaw);
        const auto provider = known.value_or(TranscriptionProvider::apple);
        TranscriptionJob job{*in.audioFile,
                             provider,
                             known ? mode.transcriptionModel : QString(),
                             mode.language,
                             DictionaryInjector::transcriptionHint(entries),
                             mode.trimSilence,
                             mode.nemotronChunkMs};
        Transcriber& transcriber = m_c.transcriber();
        QElapsedTimer timer;
        timer.start();
        auto transcribing = transcriber.transcribe(std::move(job));
        const auto result = co_await transcribing;
        if (!self)
            co_return;
        if (!result) {
            const TranscriptionError& error = result.error();
            const bool offline = in.allowOfflineQueue && !isOnDevice(provider) && m_c.offlineQueue &&
                                 error.kind == TranscriptionError::Kind::api && error.api.urlError() &&
                                 isUnreachableError(error);
            if (offline) {
                const auto notKept = m_c.offlineQueue->enqueue(*in.audioFile, mode, resolvedPrompt(mode), in.duration);
                setError(notKept.value_or(offlineMessage()));
            } else if (error.kind == TranscriptionError::Kind::noSpeech) {
                // Nothing was said: there is no speech to keep.
                if (in.keepOnFailure && !in.retryOf)
                    QFile::remove(*in.audioFile);
                setError(error.description());
            } else {
                setError(keepFailedRecording(in, error.description()));
            }
            setState(RecordingState::idle);
            m_c.panel.hide();
            co_return;
        }
        raw = *result;
        transcriptionSeconds = secondsSince(timer);
        transcriptionCost = transcriber.lastCostUSD();
    }

    // 3. Vocabulary replacements.
    const QString replaced = DictionaryInjector::applyReplacements(raw, entries);
    QString finalText = replaced;

    // 4-5. AI rewrite.
    const bool runAI = mode.enableAIEnhancement ||
                       (m_settings.boolValue(SharedDefaultsKey::autoEnhanceDifficult, true) && in.difficult);
    bool enhanced = false;
    std::optional<QString> aiOutput;
    std::optional<int> fixes;
    std::optional<QString> category;
    std::optional<double> aiSeconds;
    std::optional<double> aiCost;
    if (runAI) {
        setState(RecordingState::enhancing);
        const QString vocabulary = DictionaryInjector::vocabularyBlock(entries);
        QString prompt = resolvedPrompt(mode);
        std::optional<QUuid> preset = presetInUse(mode);
        if (!mode.enableAIEnhancement && prompt.trimmed().isEmpty()) {
            prompt = difficultAudioPrompt();
            preset.reset();
        }
        const QString learned =
            RewritePrompt::learnedStyleBlock(m_store->fetch<LearningSuggestion>(), preset);
        const AIChoice choice = AIProviderSettings::forMode(mode, m_settings);
        const RewriteRequest request = RewritePrompt::buildRewriteRequest(prompt, replaced, vocabulary, learned);
        ChatClient& chat = m_c.chat();
        QElapsedTimer timer;
        timer.start();
        auto asking = chat.ask(request.messages, choice.model, request.system, RewritePrompt::kRewriteMaxTokens,
                               choice.provider);
        auto answer = co_await asking;
        if (!self)
            co_return;
        // This call's own cost: another rewrite may have finished meanwhile.
        aiCost = answer ? answer->costUSD : std::nullopt;
        std::optional<ParsedRewrite> parsed;
        if (answer)
            parsed = PostProcessMetaParser::parse(answer->text);
        // An empty rewrite of a non-empty text would deliver nothing: keep the transcript.
        if (parsed && parsed->text.trimmed().isEmpty() && !replaced.trimmed().isEmpty())
            answer = unexpected(APIError::decodingFailed());
        if (answer) {
            aiSeconds = secondsSince(timer);
            enhanced = true;
            finalText = parsed->text;
            aiOutput = parsed->text;
            if (parsed->meta) {
                fixes = parsed->meta->fixes;
                category = parsed->meta->category;
            }
        } else {
            setError(aiFailedPrefix() + answer.error().errorDescription());
        }
    }

    // 6. History record.
    Transcription t;
    t.text = finalText;
    t.duration = in.duration;
    t.modeName = mode.name;
    t.transcriptionProvider = mode.transcriptionProviderRaw;
    t.transcriptionModel = mode.transcriptionModel;
    t.enhancedByAI = enhanced;
    t.rawWhisperText = raw;
    t.afterReplacementsText = replaced;
    t.aiOutputText = aiOutput;
    t.aiFixCount = fixes;
    t.categoryRaw = category;
    t.transcriptionSeconds = transcriptionSeconds;
    t.aiSeconds = aiSeconds;
    t.transcriptionCostUSD = transcriptionCost;
    t.aiCostUSD = aiCost;
    // Only a recording of ours: a file the user asked to transcribe stays where it is.
    const bool ownRecording = in.audioFile && (in.keepOnFailure || in.retryOf) && m_c.keptRecordings;
    if (ownRecording)
        t.audioFileName = m_c.keptRecordings->nameFor(*in.audioFile, t.id);
    const StoreResult stored = m_store->save([&]() -> StoreResult {
        if (auto ok = m_store->insert(t); !ok)
            return ok;
        if (m_c.keptRecordings)
            if (auto ok = m_c.keptRecordings->prune(*m_store); !ok)
                return ok;
        if (enhanced && fixes) {
            TransformationStat stat;
            stat.fixCount = *fixes;
            stat.wordCount = wordCount(finalText);
            stat.source = QStringLiteral("dictation");
            stat.createdAt = t.createdAt;
            return m_store->insert(stat);
        }
        return {};
    });
    if (stored) {
        m_lastTranscriptionID = t.id;
        if (ownRecording)
            m_c.keptRecordings->settle(*in.audioFile, t.audioFileName);
        if (in.retryOf && m_c.failedRecordings)
            m_c.failedRecordings->remove(*in.retryOf);
    } else {
        setError(stored.error().message);
    }

    // 7. Follow-ups.
    m_settings.setValue(SharedDefaultsKey::lastModeHome, uuidText(mode.id));
    DictionaryInjector::recordUsage(finalText, entries, DateTime::now(), *m_store);
    if (!category && m_c.categorization)
        m_c.categorization->maybeAutoClassify();
    if (m_c.learning)
        m_c.learning->dictationStored();
    if (m_c.stats)
        m_c.stats->refresh();
    setLastText(finalText);

    // 8-10.
    if (m_currentTrigger != Trigger::window) {
        auto released = m_c.delivery.keysReleased();
        co_await released;
        if (!self)
            co_return;
    }
    deliver(finalText, mode);
    finish();
}

QString MacDictationController::keepFailedRecording(const PipelineInput& in, const QString& error)
{
    if (!in.audioFile || !m_c.failedRecordings)
        return error;
    if (in.retryOf) {
        (void)m_c.failedRecordings->updateError(*in.retryOf, error);
        m_lastFailedRecordingID = in.retryOf;
        return error + keptRecordingSuffix(*in.audioFile);
    }
    if (!in.keepOnFailure)
        return error;
    FailedRecording description;
    description.modeID = in.mode.id;
    description.modeName = in.mode.name;
    description.error = error;
    description.duration = in.duration;
    const auto kept = m_c.failedRecordings->keep(*in.audioFile, description);
    if (!kept)
        return error + keptRecordingSuffix(*in.audioFile) + QLatin1Char(' ') + kept.error();
    m_lastFailedRecordingID = kept->id;
    return error + keptRecordingSuffix(kept->audioFile);
}

void MacDictationController::deliver(const QString& text, const TranscriptionMode& mode)
{
    if (m_currentTrigger == Trigger::window) {
        m_c.delivery.copyToClipboard(text);
        return;
    }
    if (!m_c.delivery.pasteAtCursor(text)) {
        setError(pasteUntrustedMessage());
        return;
    }
    if (m_c.autoSend.autoSendModeIDs().contains(uuidText(mode.id)) && m_c.delivery.isTrusted())
        m_c.delivery.pressReturn();
}
