// The dictation state machine driven through its collaborators' recording fakes.
#include "dictation/FailedRecordings.h"
#include "dictation/KeptRecordings.h"
#include "fakes/ControllerFakes.h"
#include "store/Notifications.h"
#include "store/RecordStore.h"
#include "store/Settings.h"

#include <QCoroTask>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using State = RecordingState;
using Trigger = DictationTrigger;

Q_DECLARE_METATYPE(State)

namespace {

// The messages as the user reads them, spelled out so that a change of wording shows here.
const QString kMicPermission = QStringLiteral("Autorise le micro pour Ovra dans Réglages Système → Confidentialité → Microphone.");
const QString kTooShort = QStringLiteral("Dictée trop courte — rien n'a été entendu.");
const QString kOffline = QStringLiteral("Hors-ligne — la dictée sera transcrite au retour du réseau.");
const QString kAIFailedPrefix = QStringLiteral("Amélioration IA échouée — transcription brute conservée. ");
const QString kPasteUntrusted = QStringLiteral("Texte copié — autorise Ovra dans Réglages Système → Confidentialité → Accessibilité pour le "
    "collage automatique.");
const QString kSelectionUntrusted = QStringLiteral("Autorise Ovra dans Réglages Système → Confidentialité → Accessibilité pour transformer la "
    "sélection.");
const QString kEmptySelection = QStringLiteral("Sélectionne du texte d'abord, puis relance la transformation.");

struct Rig : ControllerFakes
{
    QTemporaryDir dir;
    std::unique_ptr<RecordStore> store;
    Settings settings{dir.filePath("config")};
    Notifications notifications;
    FakeOfflineQueue offline;
    FailedRecordings failed{dir.filePath("data/FailedRecordings")};
    KeptRecordings kept{dir.filePath("data/Recordings"), settings};
    std::unique_ptr<MacDictationController> controller;

    explicit Rig(bool withStore = true)
    {
        recorder.file = dir.filePath("rec.wav");
        if (withStore)
            store = std::move(RecordStore::open(dir.filePath("s.sqlite"), {}).value());
        controller = std::make_unique<MacDictationController>(collaborators(12.5, &failed, &offline, &kept),
            settings, notifications);
        controller->attachStore(store.get());
    }

    TranscriptionMode addMode(std::function<void(TranscriptionMode&)> edit = {})
    {
        TranscriptionMode m;
        m.name = QStringLiteral("Mode %1").arg(store->count<TranscriptionMode>());
        m.sortOrder = int(store->count<TranscriptionMode>());
        if (edit)
            edit(m);
        (void)store->insert(m);
        return m;
    }

    void start(Trigger t = Trigger::hotkey) { QCoro::waitFor(controller->start(t)); }
    void stop() { QCoro::waitFor(controller->stop()); }
    void dictate(Trigger t = Trigger::hotkey)
    {
        start(t);
        stop();
    }
    QList<Transcription> stored() const { return store->fetch<Transcription>(); }
    QString error() const { return controller->errorMessage().value_or(QString()); }
};

DictationLevelStats levels(int count, double mean, double variance)
{
    return {count, mean, variance * (count - 1)};
}

} // namespace

class TestDictationController : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void hotkeyDictationRunsThePipeline()
    {
        Rig rig;
        QSignalSpy states(rig.controller.get(), &MacDictationController::stateChanged);
        DictionaryEntry e;
        e.term = "Ovra";
        e.pronunciationsRaw = "ovrah";
        e.scopesRaw = 3;
        QVERIFY(rig.store->insert(e));
        rig.transcriber.results.push_back(QStringLiteral("dis ovrah bonjour"));
        rig.transcriber.cost = 0.0004;

        rig.start();
        QCOMPARE(rig.controller->state(), State::recording);
        QVERIFY(rig.escape.installed);
        QVERIFY(rig.media.paused);
        QVERIFY(rig.panel.visible);
        QCOMPARE(rig.sounds.played, QList{SystemSound::pop});

        rig.stop();
        QCOMPARE(states.size(), 3);
        QCOMPARE(states[1][0].value<State>(), State::transcribing);
        QCOMPARE(rig.controller->state(), State::finished);
        QVERIFY(!rig.escape.installed);
        QVERIFY(!rig.media.paused);
        QCOMPARE(rig.sounds.played, (QList{SystemSound::pop, SystemSound::glass}));

        // No modes: "Normal" was created and used.
        const auto modes = rig.store->fetch<TranscriptionMode>();
        QCOMPARE(modes.size(), 1);
        QCOMPARE(modes[0].name, "Normal");
        QCOMPARE(modes[0].icon, "waveform");
        QCOMPARE(modes[0].transcriptionModel, "whisper-large-v3-turbo");
        QCOMPARE(modes[0].aiModel, "claude-haiku-4-5");

        QCOMPARE(rig.transcriber.jobs.size(), 1);
        const TranscriptionJob& job = rig.transcriber.jobs[0];
        QCOMPARE(job.file, *rig.recorder.file);
        QCOMPARE(job.provider, TranscriptionProvider::groq);
        QCOMPARE(job.vocabularyHint, QString("Vocabulary: Ovra (also: ovrah)."));
        QVERIFY(rig.chat.calls.isEmpty());

        const auto all = rig.stored();
        QCOMPARE(all.size(), 1);
        const Transcription& t = all[0];
        QCOMPARE(t.text, "dis Ovra bonjour");
        QCOMPARE(t.rawWhisperText, QString("dis ovrah bonjour"));
        QCOMPARE(t.afterReplacementsText, QString("dis Ovra bonjour"));
        QVERIFY(!t.aiOutputText);
        QVERIFY(!t.enhancedByAI);
        QCOMPARE(t.duration, 2.0);
        QCOMPARE(t.modeName, "Normal");
        QCOMPARE(t.transcriptionProvider, "groq");
        QCOMPARE(t.transcriptionCostUSD, 0.0004);
        QVERIFY(t.transcriptionSeconds);
        QVERIFY(!t.aiSeconds && !t.aiCostUSD);
        QCOMPARE(rig.delivery.pasted, QStringList{"dis Ovra bonjour"});
        QCOMPARE(rig.controller->lastText(), QString("dis Ovra bonjour"));
        QCOMPARE(rig.settings.stringValue(SharedDefaultsKey::lastModeHome), uuidText(modes[0].id));
        QCOMPARE(rig.store->find<DictionaryEntry>(e.id)->usageCount, 1);
        QCOMPARE(rig.followUps.classifications, 1);
        QCOMPARE(rig.followUps.refreshes, 1);
        QCOMPARE(rig.followUps.learnings, 1);

        // 1.2 s later: idle, panel hidden.
        QVERIFY(rig.panel.visible);
        QTRY_COMPARE_WITH_TIMEOUT(rig.controller->state(), State::idle, 3000);
        QVERIFY(!rig.panel.visible);
    }

    void recordingLength_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<bool>("processed");
        QTest::newRow("0.4 s") << 0.4 << false;
        QTest::newRow("0.5 s") << 0.5 << true;
    }
    void recordingLength()
    {
        QFETCH(double, seconds);
        QFETCH(bool, processed);
        Rig rig;
        rig.recorder.recordedSeconds = seconds;
        rig.dictate();
        QCOMPARE(rig.stored().size(), processed ? 1 : 0);
        // Used or not, the recording is not left behind (none kept by default).
        QVERIFY(!QFile::exists(*rig.recorder.file));
        QCOMPARE(rig.controller->state(), processed ? State::finished : State::idle);
        QCOMPARE(rig.error(), processed ? QString() : kTooShort);
        if (!processed)
            QVERIFY(!rig.panel.visible);
    }

    void storedDictationKeepsItsRecordingWhenAsked()
    {
        Rig rig;
        rig.settings.setValue(SharedDefaultsKey::dictationAudioRetentionCount, 1);
        rig.dictate();
        QCOMPARE(rig.stored().size(), 1);
        const Transcription t = rig.stored()[0];
        QVERIFY(t.audioFileName);
        QVERIFY(!QFile::exists(*rig.recorder.file));
        QVERIFY(QFile::exists(rig.dir.filePath("data/Recordings/" + *t.audioFileName)));
    }

    void stopWithNothingUsable()
    {
        Rig rig;
        rig.recorder.file.reset();
        rig.dictate();
        QCOMPARE(rig.controller->state(), State::idle);
        QVERIFY(!rig.panel.visible && !rig.media.paused);
        QCOMPARE(rig.error(), QString());

        Rig noStore(false);
        noStore.dictate();
        QCOMPARE(noStore.controller->state(), State::idle);
        QCOMPARE(noStore.recorder.cancels, 1);
        QVERIFY(noStore.transcriber.jobs.isEmpty());
    }

    void liveDictation_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("processed");
        QTest::addColumn<QString>("message");
        QTest::newRow("short with text: dropped silently") << 0.3 << "bonjour" << false << QString();
        QTest::newRow("short without text") << 0.3 << "" << false << kTooShort;
        QTest::newRow("long without text") << 3.0 << "" << false << kTooShort;
        QTest::newRow("long with text") << 0.5 << "bonjour" << true << QString();
    }
    void liveDictation()
    {
        QFETCH(double, seconds);
        QFETCH(QString, text);
        QFETCH(bool, processed);
        QFETCH(QString, message);
        Rig rig;
        rig.addMode([](TranscriptionMode& m) {
            m.transcriptionProviderRaw = "apple";
            m.liveTranscription = true;
            m.language = "fr-FR";
        });
        rig.live.seconds = seconds;
        rig.live.text = text;
        rig.start();
        QCOMPARE(rig.live.languages, QStringList{"fr-FR"});
        QVERIFY(rig.controller->liveModeActive());
        QCOMPARE(rig.recorder.starts, 0);
        rig.stop();
        QVERIFY(!rig.controller->liveModeActive());
        QVERIFY(rig.transcriber.jobs.isEmpty());
        QCOMPARE(rig.stored().size(), processed ? 1 : 0);
        QCOMPARE(rig.error(), message);
        QCOMPARE(rig.controller->state(), processed ? State::finished : State::idle);
        if (processed)
            QCOMPARE(rig.stored()[0].rawWhisperText, text);
    }

    void difficultAudio_data()
    {
        QTest::addColumn<DictationLevelStats>("stats");
        QTest::addColumn<bool>("difficult");
        QTest::newRow("19 samples, weak") << levels(19, 0.01, 0.0) << false;
        QTest::newRow("weak") << levels(20, 0.05, 0.01) << true;
        QTest::newRow("loud and flat") << levels(40, 0.30, 0.0005) << true;
        QTest::newRow("medium and flat") << levels(40, 0.15, 0.0005) << false;
        QTest::newRow("loud and varied") << levels(40, 0.30, 0.01) << false;
        QTest::newRow("mean exactly 0.09") << levels(40, 0.09, 0.01) << false;
    }
    void difficultAudio()
    {
        QFETCH(DictationLevelStats, stats);
        QFETCH(bool, difficult);
        QCOMPARE(MacDictationController::isDifficult(stats), difficult);
    }

    void aiDecision_data()
    {
        QTest::addColumn<bool>("aiOn");
        QTest::addColumn<QVariant>("autoEnhance");
        QTest::addColumn<bool>("difficult");
        QTest::addColumn<QString>("prompt");
        QTest::addColumn<bool>("called");
        QTest::addColumn<QString>("userMessage");

        const QString difficultPrompt = MacDictationController::difficultAudioPrompt();
        const QString wrapped = difficultPrompt + "\n\n<TRANSCRIPT>\ntexte brut\n</TRANSCRIPT>";
        QTest::newRow("off, unset, difficult, no prompt") << false << QVariant() << true << "" << true << wrapped;
        QTest::newRow("off, non-boolean, difficult") << false << QVariant("no") << true << " \n" << true << wrapped;
        QTest::newRow("off, explicitly off, difficult") << false << QVariant(false) << true << "" << false << "";
        QTest::newRow("off, on, not difficult") << false << QVariant(true) << false << "" << false << "";
        QTest::newRow("off, difficult, own prompt")
            << false << QVariant() << true << "Résume." << true << "Résume.\n\n<TRANSCRIPT>\ntexte brut\n</TRANSCRIPT>";
        QTest::newRow("on, empty prompt: bare transcript") << true << QVariant(false) << false << "" << true
                                                           << "texte brut";
        QTest::newRow("on, difficult, empty prompt: no correction prompt")
            << true << QVariant() << true << "" << true << "texte brut";
    }
    void aiDecision()
    {
        QFETCH(bool, aiOn);
        QFETCH(QVariant, autoEnhance);
        QFETCH(bool, difficult);
        QFETCH(QString, prompt);
        QFETCH(bool, called);
        QFETCH(QString, userMessage);
        Rig rig;
        if (autoEnhance.isValid())
            rig.settings.setValue(SharedDefaultsKey::autoEnhanceDifficult, autoEnhance);
        rig.addMode([&](TranscriptionMode& m) {
            m.enableAIEnhancement = aiOn;
            m.promptTemplate = prompt;
        });
        rig.recorder.stats = difficult ? levels(30, 0.02, 0.0001) : levels(30, 0.15, 0.01);
        rig.chat.otherCallsCost = 9.99; // an overlapping call finished last: not this dictation's cost
        QSignalSpy states(rig.controller.get(), &MacDictationController::stateChanged);
        rig.dictate();
        QCOMPARE(rig.chat.calls.size(), called ? 1 : 0);
        const Transcription t = rig.stored().value(0);
        QCOMPARE(t.enhancedByAI, called);
        if (!called) {
            QCOMPARE(t.text, "texte brut");
            QVERIFY(!t.aiCostUSD && !t.aiOutputText);
            return;
        }
        QCOMPARE(states[2][0].value<State>(), State::enhancing);
        QCOMPARE(rig.chat.calls[0].messages, QList{ChatMessage::user(userMessage)});
        QCOMPARE(rig.chat.calls[0].maxTokens, 2048);
        QCOMPARE(t.text, "Texte réécrit.");
        QCOMPARE(t.aiOutputText, QString("Texte réécrit."));
        QCOMPARE(t.aiFixCount, 3);
        QCOMPARE(t.aiCostUSD, 0.0021);
        QVERIFY(t.aiSeconds);
        const auto stats = rig.store->fetch<TransformationStat>();
        QCOMPARE(stats.size(), 1);
        QCOMPARE(stats[0].fixCount, 3);
        QCOMPARE(stats[0].wordCount, 2);
    }

    void rewriteUsesPresetVocabularyLearnedStyleAndModeChoice()
    {
        Rig rig;
        PromptPreset preset;
        preset.name = "Mail";
        preset.prompt = "Écris un e-mail.";
        QVERIFY(rig.store->insert(preset));
        LearningSuggestion rule;
        rule.kindRaw = "styleRule";
        rule.statusRaw = "accepted";
        rule.suggestedPromptText = "Vouvoie.";
        rule.appliedToPresetID = preset.id;
        QVERIFY(rig.store->insert(rule));
        DictionaryEntry e;
        e.term = "Ovra";
        QVERIFY(rig.store->insert(e));
        rig.settings.setValue("mirelo.ai.postprocess.providerRaw", "gemini");
        const auto mode = rig.addMode([&](TranscriptionMode& m) {
            m.enableAIEnhancement = true;
            m.promptTemplate = "ignored";
            m.promptPresetID = preset.id;
            m.aiOverrideProviderRaw = "openai";
            m.aiOverrideModel = "not-a-model";
        });
        rig.chat.results.push_back(QStringLiteral("Bonjour,\n<qm-meta>{\"category\": \"email\"}</qm-meta>"));
        rig.dictate();
        QCOMPARE(rig.chat.calls.size(), 1);
        const ChatCall& call = rig.chat.calls[0];
        QCOMPARE(call.provider, AIProvider::openai);
        QCOMPARE(call.model, "gpt-5.4-mini");
        QVERIFY(call.system->startsWith("<vocabulary>\nUse exactly these spellings"));
        QVERIFY(call.system->contains("</vocabulary>\n\n<learned-style>\n"));
        QVERIFY(call.system->contains("- Vouvoie.\n</learned-style>\n\nIMPORTANT:"));
        QVERIFY(call.messages[0].content.startsWith("Écris un e-mail.\n\n<TRANSCRIPT>"));
        const Transcription t = rig.stored().value(0);
        QCOMPARE(t.text, "Bonjour,");
        QCOMPARE(t.categoryRaw, QString("email"));
        QVERIFY(!t.aiFixCount);
        QCOMPARE(rig.followUps.classifications, 0); // the meta block gave a category
        QVERIFY(rig.store->fetch<TransformationStat>().isEmpty());
        Q_UNUSED(mode);
    }

    void aiFailureKeepsTheReplacedText_data()
    {
        QTest::addColumn<QVariant>("answer");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("billed");
        QTest::newRow("server error") << QVariant::fromValue(APIError::serverError(401, QString("bad key")))
                                      << "Service error (401): bad key" << false;
        QTest::newRow("missing key") << QVariant::fromValue(APIError::missingAPIKey("Anthropic"))
                                     << "Add your Anthropic API key in the Models tab." << false;
        // The call itself succeeded and was paid for, but gave nothing to deliver.
        QTest::newRow("empty answer") << QVariant(QString("")) << APIError::decodingFailed().errorDescription()
                                      << true;
        QTest::newRow("only a meta block") << QVariant(QString("<qm-meta>{\"fixes\": 0}</qm-meta>"))
                                           << APIError::decodingFailed().errorDescription() << true;
    }
    void aiFailureKeepsTheReplacedText()
    {
        QFETCH(QVariant, answer);
        QFETCH(QString, message);
        QFETCH(bool, billed);
        Rig rig;
        rig.addMode([](TranscriptionMode& m) { m.enableAIEnhancement = true; });
        if (answer.canConvert<APIError>() && answer.typeId() != QMetaType::QString)
            rig.chat.results.push_back(unexpected(answer.value<APIError>()));
        else
            rig.chat.results.push_back(answer.toString());
        rig.dictate(Trigger::window);
        QCOMPARE(rig.error(), kAIFailedPrefix + message);
        QCOMPARE(rig.controller->state(), State::finished);
        const Transcription t = rig.stored().value(0);
        QCOMPARE(t.text, "texte brut");
        QVERIFY(!t.enhancedByAI);
        QVERIFY(!t.aiOutputText && !t.aiFixCount && !t.aiSeconds);
        QCOMPARE(t.aiCostUSD.has_value(), billed);
        QCOMPARE(rig.delivery.copied, QStringList{"texte brut"});
        QVERIFY(rig.delivery.pasted.isEmpty());
    }

    void offline_data()
    {
        QTest::addColumn<QString>("provider");
        QTest::addColumn<int>("code");
        QTest::addColumn<bool>("queued");
        const int offline = int(URLError::Code::notConnectedToInternet);
        QTest::newRow("cloud, offline") << "openai" << offline << true;
        QTest::newRow("cloud, connection lost") << "gemini" << int(URLError::Code::networkConnectionLost) << true;
        QTest::newRow("cloud, bad URL") << "groq" << int(URLError::Code::badURL) << false;
        QTest::newRow("on-device whisper") << "whisperKit" << offline << false;
        QTest::newRow("on-device parakeet") << "parakeet" << offline << false;
    }
    void offline()
    {
        QFETCH(QString, provider);
        QFETCH(int, code);
        QFETCH(bool, queued);
        Rig rig;
        const APIError error = APIError::transport(URLError::Code(code));
        rig.transcriber.results.push_back(unexpected(TranscriptionError::fromAPI(error)));
        rig.addMode([&](TranscriptionMode& m) {
            m.transcriptionProviderRaw = provider;
            m.promptTemplate = "Mon prompt";
        });
        rig.dictate();
        QCOMPARE(rig.controller->state(), State::idle);
        QVERIFY(!rig.panel.visible);
        QVERIFY(rig.stored().isEmpty());
        QCOMPARE(rig.offline.queued.size(), queued ? 1 : 0);
        if (queued)
            QCOMPARE(rig.error(), kOffline);
        else
            QVERIFY(rig.error().startsWith(error.errorDescription() + " — Enregistrement conservé : "));
        if (queued) {
            QCOMPARE(rig.offline.queued[0].file, *rig.recorder.file);
            QCOMPARE(rig.offline.queued[0].prompt, "Mon prompt");
            QCOMPARE(rig.offline.queued[0].duration, 2.0);
        }
        QVERIFY(rig.sounds.played.count(SystemSound::glass) == 0);
    }

    void fileTranscriptionNeverQueuesAndGoesToTheClipboard()
    {
        Rig rig;
        rig.transcriber.results.push_back(
            unexpected(TranscriptionError::fromAPI(APIError::transport(URLError::Code::notConnectedToInternet))));
        QCoro::waitFor(rig.controller->transcribeFile("/tmp/a.m4a"));
        QVERIFY(rig.offline.queued.isEmpty());
        QCOMPARE(rig.controller->state(), State::idle);

        QCoro::waitFor(rig.controller->transcribeFile("/tmp/a.m4a"));
        QCOMPARE(rig.controller->state(), State::finished);
        QCOMPARE(rig.controller->currentTrigger(), Trigger::window);
        QCOMPARE(rig.delivery.copied, QStringList{"texte brut"});
        QVERIFY(rig.delivery.pasted.isEmpty());
        QCOMPARE(rig.stored().value(0).duration, 12.5);
        QCOMPARE(rig.transcriber.jobs[1].file, "/tmp/a.m4a");
        QVERIFY(rig.sounds.played.contains(SystemSound::glass));

        // A mode given by the caller (not stored, not made active) is the one used.
        TranscriptionMode oneOff;
        oneOff.name = "Ponctuel";
        oneOff.transcriptionProviderRaw = "gemini";
        oneOff.language = "de";
        QCoro::waitFor(rig.controller->transcribeFile("/tmp/b.m4a", oneOff));
        QCOMPARE(rig.transcriber.jobs.last().provider, TranscriptionProvider::gemini);
        QCOMPARE(rig.transcriber.jobs.last().language, "de");
        QCOMPARE(rig.store->find<Transcription>(*rig.controller->lastTranscriptionID())->modeName, "Ponctuel");
        QCOMPARE(rig.store->count<TranscriptionMode>(), 1);
    }

    void delivery_data()
    {
        QTest::addColumn<int>("trigger");
        QTest::addColumn<bool>("trusted");
        QTest::addColumn<bool>("autoSend");
        QTest::addColumn<bool>("pasted");
        QTest::addColumn<int>("returns");
        QTest::addColumn<QString>("message");
        const int w = int(Trigger::window);
        const int h = int(Trigger::hotkey);
        QTest::newRow("window: clipboard only") << w << true << true << false << 0 << QString();
        QTest::newRow("hotkey: pasted") << h << true << false << true << 0 << QString();
        QTest::newRow("hotkey, auto-send: Return") << h << true << true << true << 1 << QString();
        QTest::newRow("hotkey, untrusted") << h << false << true << false << 0
                                           << kPasteUntrusted;
    }
    void delivery()
    {
        QFETCH(int, trigger);
        QFETCH(bool, trusted);
        QFETCH(bool, autoSend);
        QFETCH(bool, pasted);
        QFETCH(int, returns);
        QFETCH(QString, message);
        Rig rig;
        const auto mode = rig.addMode();
        if (autoSend)
            rig.autoSend.ids.insert(uuidText(mode.id));
        rig.delivery.trusted = trusted;
        rig.dictate(Trigger(trigger));
        QCOMPARE(rig.delivery.pasted.size(), pasted ? 1 : 0);
        QCOMPARE(rig.delivery.copied, QStringList{"texte brut"});
        QCOMPARE(rig.delivery.returns, returns);
        QCOMPARE(rig.error(), message);
        QCOMPARE(rig.panel.shows, trigger == int(Trigger::hotkey) ? 1 : 0);
        QCOMPARE(rig.controller->state(), State::finished);
        QCOMPARE(rig.stored().size(), 1);
    }

    void newStartWithinTheResetDelay()
    {
        Rig rig;
        rig.dictate();
        QCOMPARE(rig.controller->state(), State::finished);
        QTest::qWait(600);
        rig.start();
        QCOMPARE(rig.controller->state(), State::recording);
        QTest::qWait(900); // past the first reset's 1.2 s
        QCOMPARE(rig.controller->state(), State::recording);
        QVERIFY(rig.panel.visible);
        rig.stop();
        QCOMPARE(rig.controller->state(), State::finished);
        QTRY_COMPARE_WITH_TIMEOUT(rig.controller->state(), State::idle, 3000);
    }

    void startRefusedOrFailing()
    {
        Rig rig;
        rig.recorder.permission = false;
        rig.start();
        QCOMPARE(rig.controller->state(), State::idle);
        QCOMPARE(rig.error(), kMicPermission);
        QVERIFY(rig.controller->errorIsMicPermission());

        rig.recorder.permission = true;
        rig.recorder.startError = "Aucun micro.";
        rig.start();
        QCOMPARE(rig.controller->state(), State::idle);
        QCOMPARE(rig.error(), "Aucun micro.");
        QVERIFY(!rig.controller->errorIsMicPermission());
        QVERIFY(!rig.media.paused && rig.sounds.played.isEmpty());

        rig.recorder.startError.reset();
        rig.start();
        QCOMPARE(rig.controller->state(), State::recording);
        QCOMPARE(rig.error(), QString());
        // A second start while recording does nothing.
        rig.start();
        QCOMPARE(rig.recorder.starts, 1);
    }

    void cancelOnlyWhileRecording()
    {
        Rig rig;
        rig.controller->cancel();
        QCOMPARE(rig.recorder.cancels, 0);
        rig.start();
        rig.controller->cancel();
        QCOMPARE(rig.controller->state(), State::idle);
        QCOMPARE(rig.recorder.cancels, 1);
        QVERIFY(!rig.panel.visible && !rig.media.paused && !rig.escape.installed);
        QVERIFY(rig.stored().isEmpty());
        QCOMPARE(rig.sounds.played, QList{SystemSound::pop});
    }

    void activeModeAndSync()
    {
        Rig rig;
        const auto first = rig.addMode();
        const auto second = rig.addMode();
        QCOMPARE(rig.controller->currentMode()->id, first.id);
        rig.controller->setActiveMode(second);
        QCOMPARE(rig.controller->currentMode()->id, second.id);
        QCOMPARE(rig.settings.stringValue(SharedDefaultsKey::activeModeID), uuidText(second.id));
        QCOMPARE(rig.settings.stringValue(SharedDefaultsKey::activeModeName), second.name);

        // Set elsewhere (another process, the settings sync): the next dictation uses it.
        rig.settings.setValue(SharedDefaultsKey::activeModeID, uuidText(first.id));
        QCOMPARE(rig.controller->currentMode()->id, first.id);
        Q_EMIT rig.notifications.cloudSettingsDidSync();
        QCOMPARE(rig.controller->activeModeID(), first.id);

        rig.settings.setValue(SharedDefaultsKey::activeModeID, "not-a-uuid");
        Q_EMIT rig.notifications.cloudSettingsDidSync();
        QCOMPARE(rig.controller->activeModeID(), first.id);

        // An id naming no mode falls back to the first.
        rig.controller->setActiveMode(TranscriptionMode{});
        QCOMPARE(rig.controller->currentMode()->id, first.id);
    }

    void failedDictationKeepsItsRecording_data()
    {
        QTest::addColumn<QString>("provider");
        QTest::addColumn<QString>("error");
        QTest::newRow("cloud error, not a lost connection")
            << "groq" << APIError::serverError(500).errorDescription();
        QTest::newRow("on-device, offline")
            << "whisperKit"
            << APIError::transport(URLError::Code::notConnectedToInternet).errorDescription();
    }
    void failedDictationKeepsItsRecording()
    {
        QFETCH(QString, provider);
        QFETCH(QString, error);
        Rig rig;
        const auto mode = rig.addMode([&](TranscriptionMode& m) { m.transcriptionProviderRaw = provider; });
        rig.transcriber.results.push_back(unexpected(TranscriptionError::fromAPI(
            provider == "whisperKit" ? APIError::transport(URLError::Code::notConnectedToInternet)
                                     : APIError::serverError(500))));
        rig.dictate();
        QCOMPARE(rig.controller->state(), State::idle);
        QVERIFY(rig.stored().isEmpty());

        const QList<FailedRecording> kept = rig.controller->failedRecordings();
        QCOMPARE(kept.size(), 1);
        const FailedRecording& r = kept[0];
        QVERIFY(!QFile::exists(*rig.recorder.file));
        QFile audio(r.audioFile);
        QVERIFY(audio.open(QIODevice::ReadOnly));
        QCOMPARE(audio.readAll(), QByteArray("RIFF"));
        QCOMPARE(QFileInfo(r.audioFile).absolutePath(), rig.dir.filePath("data/FailedRecordings"));
        QCOMPARE(r.modeID, std::optional<QUuid>(mode.id));
        QCOMPARE(r.modeName, mode.name);
        QCOMPARE(r.error, error);
        QCOMPARE(r.duration, 2.0);
        QVERIFY(qAbs(r.date.secsTo(QDateTime::currentDateTimeUtc())) < 60);
        QCOMPARE(rig.error(), error + " — Enregistrement conservé : " + r.audioFile +
                                  " (« Réessayer » pour le transcrire à nouveau).");
        QCOMPARE(rig.controller->lastFailedRecordingID(), std::optional<QUuid>(r.id));
        // Only the owner reads the speech.
        QCOMPARE(QFileInfo(r.audioFile).permissions() & 0x7077, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        QCOMPARE(QFileInfo(rig.dir.filePath("data/FailedRecordings")).permissions() & 0x7077,
                 QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }

    void unknownProviderFallsBackToTheSystemRecogniser()
    {
        Rig rig;
        rig.addMode([&](TranscriptionMode& m) {
            m.transcriptionProviderRaw = "deepgram";
            m.transcriptionModel = "nova-3";
            m.language = "fr";
        });
        rig.dictate();
        QCOMPARE(rig.transcriber.jobs.size(), 1);
        QCOMPARE(rig.transcriber.jobs[0].provider, TranscriptionProvider::apple);
        QCOMPARE(rig.transcriber.jobs[0].model, QString());
        QCOMPARE(rig.transcriber.jobs[0].language, "fr");
        QCOMPARE(rig.stored().size(), 1);
        // The record says what the mode asked for; unknown raw values are kept as they are.
        QCOMPARE(rig.stored()[0].transcriptionProvider, "deepgram");
    }

    void silenceIsNotKept()
    {
        Rig rig;
        rig.transcriber.results.push_back(unexpected(TranscriptionError::noSpeechDetected()));
        rig.dictate();
        QCOMPARE(rig.error(), "Aucune parole détectée — rien à transcrire.");
        QVERIFY(rig.controller->failedRecordings().isEmpty());
        QVERIFY(rig.stored().isEmpty());
    }

    void retryTranscribesTheKeptRecordingAgain()
    {
        Rig rig;
        const auto french = rig.addMode([](TranscriptionMode& m) {
            m.transcriptionProviderRaw = "openai";
            m.language = "fr";
        });
        const auto other = rig.addMode();
        rig.transcriber.results.push_back(unexpected(TranscriptionError::fromAPI(APIError::serverError(500))));
        rig.dictate();
        const FailedRecording kept = rig.controller->failedRecordings().value(0);
        QVERIFY(!kept.id.isNull());
        rig.controller->setActiveMode(other);

        // Fails again: still kept, with the new error.
        rig.transcriber.results.push_back(unexpected(TranscriptionError::fromAPI(APIError::serverError(503))));
        QCoro::waitFor(rig.controller->retryFailed());
        QCOMPARE(rig.transcriber.jobs.last().file, kept.audioFile);
        QCOMPARE(rig.transcriber.jobs.last().language, "fr");
        QCOMPARE(rig.controller->state(), State::idle);
        QCOMPARE(rig.controller->failedRecordings().size(), 1);
        QCOMPARE(rig.controller->failedRecordings()[0].error, APIError::serverError(503).errorDescription());
        QVERIFY(rig.error().contains(kept.audioFile));
        QCOMPARE(rig.controller->lastFailedRecordingID(), std::optional<QUuid>(kept.id));
        QVERIFY(rig.offline.queued.isEmpty());

        // Succeeds: stored in the dictation's own mode, on the clipboard, no longer kept.
        QCoro::waitFor(rig.controller->retryFailed(kept.id));
        QCOMPARE(rig.controller->state(), State::finished);
        QCOMPARE(rig.stored().size(), 1);
        QCOMPARE(rig.stored()[0].modeName, french.name);
        QCOMPARE(rig.stored()[0].duration, 2.0);
        QCOMPARE(rig.delivery.copied, QStringList{"texte brut"});
        QVERIFY(rig.delivery.pasted.isEmpty());
        QVERIFY(rig.controller->failedRecordings().isEmpty());
        QVERIFY(!QFile::exists(kept.audioFile));
        QCOMPARE(rig.controller->lastFailedRecordingID(), std::optional<QUuid>());

        QCoro::waitFor(rig.controller->retryFailed());
        QCOMPARE(rig.error(), "Aucune dictée échouée à réessayer.");
        QCoro::waitFor(rig.controller->retryFailed(QUuid::createUuid()));
        QCOMPARE(rig.error(), "Aucune dictée échouée à réessayer.");
        QCOMPARE(rig.transcriber.jobs.size(), 3);
    }

    void cancelWhileStopping_data()
    {
        QTest::addColumn<bool>("live");
        QTest::newRow("recorder") << false;
        QTest::newRow("live recogniser") << true;
    }
    void cancelWhileStopping()
    {
        QFETCH(bool, live);
        Rig rig;
        if (live) {
            rig.addMode([](TranscriptionMode& m) {
                m.transcriptionProviderRaw = "apple";
                m.liveTranscription = true;
            });
            rig.live.text = "bonjour";
        }
        rig.start();
        rig.recorder.whileStopping = rig.live.whileStopping = [&] { rig.controller->cancel(); };
        rig.stop();
        QCOMPARE(rig.controller->state(), State::idle);
        QCOMPARE(rig.error(), QString());
        QVERIFY(rig.stored().isEmpty());
        QVERIFY(rig.transcriber.jobs.isEmpty());
        QVERIFY(!rig.panel.visible && !rig.media.paused && !rig.escape.installed);
        // The recorder was not told to discard the file it had just finished.
        QCOMPARE(rig.recorder.cancels, 0);
        QCOMPARE(rig.live.cancels, 0);
        QVERIFY(rig.controller->failedRecordings().isEmpty());

        // The next dictation is unaffected.
        rig.recorder.whileStopping = rig.live.whileStopping = {};
        rig.live.text = "encore";
        rig.dictate();
        QCOMPARE(rig.controller->state(), State::finished);
        QCOMPARE(rig.stored().size(), 1);
    }

    void emptyRewriteLeavesTheSelectionAlone_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::newRow("empty") << "";
        QTest::newRow("white space") << " \n\t ";
        QTest::newRow("only a meta block") << "<qm-meta>{\"fixes\": 0}</qm-meta>";
        QTest::newRow("meta block and blanks") << "\n<qm-meta>{\"fixes\": 2, \"category\": \"email\"}</qm-meta>\n";
    }
    void emptyRewriteLeavesTheSelectionAlone()
    {
        QFETCH(QString, answer);
        Rig rig;
        rig.delivery.selection = "Texte choisi";
        rig.chat.results.push_back(answer);
        QCoro::waitFor(rig.controller->transformSelection("Traduis"));
        QVERIFY(rig.delivery.pasted.isEmpty());
        QVERIFY(rig.delivery.copied.isEmpty());
        QCOMPARE(rig.error(), "L'IA n'a renvoyé aucun texte — la sélection est restée telle quelle.");
        QCOMPARE(rig.controller->state(), State::idle);
        QVERIFY(!rig.panel.visible);
        QCOMPARE(rig.sounds.played, QList{SystemSound::beep});
        QCOMPARE(rig.controller->lastText(), std::optional<QString>());
    }

    void transformSelection()
    {
        Rig rig;
        rig.delivery.trusted = false;
        QCoro::waitFor(rig.controller->transformSelection("Traduis"));
        QCOMPARE(rig.error(), kSelectionUntrusted);
        QCOMPARE(rig.delivery.trustRequests, 1);

        rig.delivery.trusted = true;
        rig.delivery.selection = " \n";
        QCoro::waitFor(rig.controller->transformSelection("Traduis"));
        QCOMPARE(rig.error(), kEmptySelection);
        QCOMPARE(rig.sounds.played, QList{SystemSound::beep});
        QCOMPARE(rig.controller->state(), State::idle);

        rig.delivery.selection = "Bonjour";
        rig.chat.results.push_back(unexpected(APIError::serverError(500)));
        QCoro::waitFor(rig.controller->transformSelection("Traduis"));
        QCOMPARE(rig.controller->state(), State::idle);
        QVERIFY(!rig.panel.visible);
        QCOMPARE(rig.error(), "Service error (500). Try again later.");

        rig.settings.setValue("mirelo.ai.selectionTransform.providerRaw", "groq");
        rig.chat.results.push_back(QStringLiteral("Hello\n<qm-meta>{\"fixes\": 1}</qm-meta>"));
        QCoro::waitFor(rig.controller->transformSelection("Traduis"));
        QCOMPARE(rig.controller->state(), State::finished);
        QCOMPARE(rig.delivery.pasted, QStringList{"Hello"});
        QCOMPARE(rig.controller->lastText(), QString("Hello"));
        QCOMPARE(rig.chat.calls.last().provider, AIProvider::groq);
        QCOMPARE(rig.chat.calls.last().messages[0].content, "Traduis\n\n<TRANSCRIPT>\nBonjour\n</TRANSCRIPT>");
        QVERIFY(rig.stored().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestDictationController)
#include "tst_dictationcontroller.moc"
