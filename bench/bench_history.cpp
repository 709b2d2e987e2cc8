// The history section over 10,000 dictations: building and showing it, and one keystroke of
// search. Runs offscreen: QT_QPA_PLATFORM=offscreen build/bench/bench_history
#include "ui/SectionRig.h"
#include "ui/sections/HistoryListModel.h"
#include "ui/sections/HistorySection.h"

#include <QApplication>
#include <QRandomGenerator>
#include <benchmark/benchmark.h>

namespace {

constexpr int kDictations = 10000;

void fill(RecordStore& store)
{
    static const QStringList words{
        QStringLiteral("réunion"), QStringLiteral("demain"),  QStringLiteral("projet"),    QStringLiteral("courriel"),
        QStringLiteral("client"),  QStringLiteral("budget"),  QStringLiteral("semaine"),   QStringLiteral("rapport"),
        QStringLiteral("équipe"),  QStringLiteral("merci"),   QStringLiteral("prochaine"), QStringLiteral("livraison"),
        QStringLiteral("appel"),   QStringLiteral("dossier"), QStringLiteral("le"),        QStringLiteral("la"),
        QStringLiteral("de"),      QStringLiteral("et"),      QStringLiteral("pour"),      QStringLiteral("avec")};
    QRandomGenerator rng(42);
    const QDateTime now = QDateTime::currentDateTimeUtc();
    (void)store.save([&]() -> StoreResult {
        for (int i = 0; i < kDictations; ++i) {
            QStringList text;
            for (int w = 0; w < 50; ++w)
                text << words[rng.bounded(int(words.size()))];
            Transcription t;
            t.text = text.join(QLatin1Char(' '));
            t.rawWhisperText = t.text;
            t.afterReplacementsText = t.text;
            t.modeName = QStringLiteral("Normal");
            t.createdAt = now.addSecs(-60 * i);
            t.transcriptionCostUSD = 0.001;
            if (auto ok = store.insert(t); !ok)
                return ok;
        }
        return {};
    });
}

struct Fixture
{
    SectionRig rig;
    Fixture() { fill(rig.store()); }
};

Fixture& fixture()
{
    static Fixture f;
    return f;
}

void BM_HistoryShown(benchmark::State& state)
{
    Fixture& f = fixture();
    for (auto _ : state) {
        HistorySection section(*f.rig.context);
        section.resize(900, 600);
        section.show();
        section.activated();
        QCoreApplication::processEvents();
        if (section.model().totalCount() != kDictations)
            state.SkipWithError("wrong count");
    }
}
BENCHMARK(BM_HistoryShown)->Unit(benchmark::kMillisecond)->Iterations(5);

// One keystroke: the search text grows or shrinks by a letter.
void BM_SearchKeystroke(benchmark::State& state)
{
    Fixture& f = fixture();
    HistoryListModel model(f.rig.store());
    const QStringList typed{QStringLiteral("r"),      QStringLiteral("ré"),        QStringLiteral("réu"),
                            QStringLiteral("réun"),   QStringLiteral("réuni"),     QStringLiteral("réunio"),
                            QStringLiteral("réunion"), QStringLiteral("réunion b"), QStringLiteral("réunion bu"),
                            QStringLiteral("réunion bud"), QStringLiteral("réunion zz")};
    int i = 0;
    for (auto _ : state) {
        model.setSearch(typed[i % typed.size()]);
        ++i;
        benchmark::DoNotOptimize(model.matchCount());
    }
}
BENCHMARK(BM_SearchKeystroke)->Unit(benchmark::kMillisecond)->Iterations(44);

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
