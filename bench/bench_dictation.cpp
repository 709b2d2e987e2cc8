// Dictation costs outside the providers: the vocabulary replacements over a long text, and the
// controller's pipeline from stop() to the delivered text with a large dictionary and history
// (instant fake providers, so what is measured is our own overhead).
#include "ai/DictionaryInjector.h"
#include "dictation/MacDictationController.h"
#include "fakes/FakeAIServices.h"
#include "fakes/FakeDictationPlatform.h"
#include "store/Notifications.h"
#include "store/RecordStore.h"
#include "store/Settings.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <benchmark/benchmark.h>

namespace {

// 1,000 entries, each a term and two pronunciations (3 variants).
QList<DictionaryEntry> makeDictionary(int scopes)
{
    QList<DictionaryEntry> entries;
    for (int i = 0; i < 1000; ++i) {
        DictionaryEntry e;
        e.term = QStringLiteral("Terme%1").arg(i);
        e.pronunciationsRaw = QStringLiteral("mot%1 entendu, autre %1 version").arg(i);
        e.scopesRaw = scopes;
        e.usageCount = i % 17;
        entries << e;
    }
    return entries;
}

// 5,000 words of ordinary text with a few dictionary variants in it.
QString makeText(int words)
{
    static const QStringList vocabulary{"le", "projet", "avance", "bien", "mais", "il", "faut", "encore", "vérifier",
                                        "les", "chiffres", "avant", "vendredi", "et", "envoyer", "réunion", "équipe",
                                        "déjà", "prévu", "demain"};
    QStringList out;
    for (int i = 0; i < words; ++i) {
        if (i % 500 == 250)
            out << QStringLiteral("mot%1").arg(i % 1000) << QStringLiteral("entendu");
        else
            out << vocabulary[(i * 7) % vocabulary.size()];
    }
    return out.join(u' ');
}

void BM_ApplyReplacements1000x3Over5000Words(benchmark::State& state)
{
    const QList<DictionaryEntry> entries = makeDictionary(DictionaryScopes::replacement);
    const QString text = makeText(5000);
    for (auto _ : state)
        benchmark::DoNotOptimize(DictionaryInjector::applyReplacements(text, entries));
}
BENCHMARK(BM_ApplyReplacements1000x3Over5000Words)->Unit(benchmark::kMillisecond);

void BM_PipelineStopToDelivered(benchmark::State& state)
{
    QTemporaryDir dir;
    auto store = std::move(RecordStore::open(dir.filePath(QStringLiteral("s.sqlite")), {}).value());
    Settings settings(dir.filePath(QStringLiteral("config")));
    Notifications notifications;
    (void)store->save([&]() -> StoreResult {
        for (const DictionaryEntry& e : makeDictionary(DictionaryScopes::transcription | DictionaryScopes::replacement |
                                                       DictionaryScopes::transformation))
            if (auto ok = store->insert(e); !ok)
                return ok;
        const QString text = makeText(60);
        for (int i = 0; i < 10000; ++i) {
            Transcription t;
            t.text = text;
            t.rawWhisperText = text;
            t.modeName = QStringLiteral("Normal");
            if (auto ok = store->insert(t); !ok)
                return ok;
        }
        PromptPreset preset;
        preset.prompt = QStringLiteral("Corrige et mets en forme.");
        TranscriptionMode mode;
        mode.enableAIEnhancement = true;
        mode.promptPresetID = preset.id;
        LearningSuggestion rule;
        rule.kindRaw = QStringLiteral("styleRule");
        rule.statusRaw = QStringLiteral("accepted");
        rule.suggestedPromptText = QStringLiteral("Phrases courtes.");
        rule.appliedToPresetID = preset.id;
        if (auto ok = store->insert(preset); !ok)
            return ok;
        if (auto ok = store->insert(rule); !ok)
            return ok;
        return store->insert(mode);
    });

    FakeAudioRecorder recorder;
    recorder.file = dir.filePath(QStringLiteral("rec.wav"));
    FakeLiveRecognizer live;
    FakeDelivery delivery;
    FakeRecorderPanel panel;
    FakeMediaPauser media;
    FakeEscapeMonitors escape;
    FakeSoundPlayer sounds;
    FakeAutoSendModes autoSend;
    FakeTranscriber transcriber;
    FakeChatClient chat;
    FakeOfflineQueue offline;
    FakeFollowUps followUps;
    MacDictationController controller({recorder, live, delivery, panel, media, escape, sounds, autoSend,
                                       [&]() -> Transcriber& { return transcriber; },
                                       [&]() -> ChatClient& { return chat; }, &offline, &followUps, &followUps,
                                       &followUps, {}},
                                      settings, notifications);
    controller.attachStore(store.get());
    const QString spoken = makeText(120);

    std::vector<double> ms;
    for (auto _ : state) {
        state.PauseTiming();
        transcriber.results.push_back(spoken);
        QCoro::waitFor(controller.start(DictationTrigger::hotkey));
        const qsizetype delivered = delivery.pasted.size();
        state.ResumeTiming();
        QElapsedTimer timer;
        timer.start();
        QCoro::waitFor(controller.stop());
        ms.push_back(double(timer.nsecsElapsed()) / 1e6);
        if (delivery.pasted.size() != delivered + 1)
            state.SkipWithError("the text was not delivered");
    }
    std::sort(ms.begin(), ms.end());
    if (!ms.empty()) {
        state.counters["p50_ms"] = ms[ms.size() / 2];
        state.counters["p95_ms"] = ms[std::min(ms.size() - 1, size_t(double(ms.size()) * 0.95))];
    }
}
BENCHMARK(BM_PipelineStopToDelivered)->Unit(benchmark::kMillisecond)->Iterations(200);

} // namespace
