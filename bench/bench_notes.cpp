// Categorising 1,000 dictations against a local server that answers at once like Ollama, and
// opening a 1 MB note in the notes section. Runs offscreen:
// QT_QPA_PLATFORM=offscreen build/bench/bench_notes
#include "ai/AIFeatureRig.h"
#include "ai/CategorizationManager.h"
#include "ui/SectionRig.h"
#include "ui/sections/NotesSection.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <benchmark/benchmark.h>
#include <sys/resource.h>

namespace {

constexpr int kDictations = 1000;

double processCpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Every batch: the model list, then twenty categories.
void queueAnswers(AIFeatureRig& rig)
{
    QJsonArray categories;
    for (int i = 0; i < CategorizationManager::kBatchSize; ++i)
        categories.append(i % 2 ? "email" : "aiPrompt");
    const QString content = QString::fromUtf8(
        QJsonDocument(QJsonObject{{"categories", categories}}).toJson(QJsonDocument::Compact));
    for (int b = 0; b < kDictations / CategorizationManager::kBatchSize; ++b)
        rig.localAnswers(content);
}

void BM_Categorize1000Locally(benchmark::State& state)
{
    AIFeatureRig rig;
    rig.settings.setValue("mirelo.ai.categorization.providerRaw", "appleIntelligence");
    (void)rig.store->save([&]() -> StoreResult {
        for (int i = 0; i < kDictations; ++i) {
            Transcription t;
            t.text = QStringLiteral("Écris un courriel au client pour confirmer la livraison de demain, numéro %1").arg(i);
            if (auto r = rig.store->insert(t); !r)
                return r;
        }
        return {};
    });
    CategorizationManager manager{rig.onDevice, rig.settings, rig.log};
    manager.setClaude(&rig.claude);
    manager.setModelContext(rig.store.get());
    double cpu = 0;
    for (auto _ : state) {
        state.PauseTiming();
        (void)rig.store->save([&]() -> StoreResult {
            for (Transcription t : rig.store->fetch<Transcription>()) {
                t.categoryRaw.reset();
                if (auto r = rig.store->replace(t); !r)
                    return r;
            }
            return {};
        });
        queueAnswers(rig);
        state.ResumeTiming();
        const double before = processCpuSeconds();
        awaitTask(manager.classifyPending());
        cpu += processCpuSeconds() - before;
        if (manager.lastSummary() != QStringLiteral("1000 dictées classées"))
            state.SkipWithError(qPrintable(manager.lastSummary()));
    }
    // The whole process: the local server's own work is counted too, so this is an upper bound.
    state.counters["process_cpu_s"] = benchmark::Counter(cpu / double(state.iterations()));
}
BENCHMARK(BM_Categorize1000Locally)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

void BM_OpenOneMegabyteNote(benchmark::State& state)
{
    SectionRig rig;
    Note big;
    while (big.content.size() < (1 << 20))
        big.content += QStringLiteral("Une ligne de note assez ordinaire, avec des accents : é à ç ô.\n");
    Note small;
    small.content = QStringLiteral("Petite note");
    (void)rig.store().insert(big);
    (void)rig.store().insert(small);
    NotesSection section(*rig.context);
    section.resize(1100, 700);
    section.show();
    section.setAssistantVisible(true);
    QCoreApplication::processEvents();
    for (auto _ : state) {
        state.PauseTiming();
        section.openNote(small.id);
        QCoreApplication::processEvents();
        state.ResumeTiming();
        section.openNote(big.id);
        QCoreApplication::processEvents();
        if (section.editor()->document()->characterCount() < (1 << 20))
            state.SkipWithError("note not shown");
    }
}
BENCHMARK(BM_OpenOneMegabyteNote)->Unit(benchmark::kMillisecond)->Iterations(10)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
