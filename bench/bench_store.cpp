// Record store and journal costs: one large save, a sorted fetch of everything, one log call.
#include "store/DebugLog.h"
#include "store/RecordStore.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

QList<Transcription> makeDictations(int n)
{
    QList<Transcription> out;
    const QString text(300, QLatin1Char('a'));
    const QDateTime base = QDateTime::currentDateTimeUtc();
    for (int i = 0; i < n; ++i) {
        Transcription t;
        t.text = text;
        t.rawWhisperText = text;
        t.createdAt = base.addSecs(-((i * 7919) % n)); // not in insertion order
        t.modeName = QStringLiteral("Normal");
        out << t;
    }
    return out;
}

void BM_Insert100kInOneSave(benchmark::State& state)
{
    const QList<Transcription> records = makeDictations(100000);
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir dir;
        auto store = std::move(RecordStore::open(dir.filePath(QStringLiteral("s.sqlite")), {}).value());
        state.ResumeTiming();
        const StoreResult r = store->save([&]() -> StoreResult {
            for (const Transcription& t : records)
                if (auto ok = store->insert(t); !ok)
                    return ok;
            return {};
        });
        if (!r)
            state.SkipWithError("save failed");
    }
}
BENCHMARK(BM_Insert100kInOneSave)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_FetchAllSortedByCreatedAt(benchmark::State& state)
{
    QTemporaryDir dir;
    auto store = std::move(RecordStore::open(dir.filePath(QStringLiteral("s.sqlite")), {}).value());
    const QList<Transcription> records = makeDictations(100000);
    (void)store->save([&]() -> StoreResult {
        for (const Transcription& t : records)
            (void)store->insert(t);
        return {};
    });
    for (auto _ : state) {
        auto all = store->fetch<Transcription>({}, {{QStringLiteral("createdAt"), false}});
        benchmark::DoNotOptimize(all);
        if (all.size() != 100000)
            state.SkipWithError("wrong count");
    }
}
BENCHMARK(BM_FetchAllSortedByCreatedAt)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_JournalLogCall(benchmark::State& state)
{
    QTemporaryDir dir;
    DebugLog log(dir.path());
    const QString message = QStringLiteral("APP transcribe: provider=groq model=whisper-large-v3-turbo 2.4 s");
    for (auto _ : state)
        log.log(message, QStringLiteral("FLOW"));
}
BENCHMARK(BM_JournalLogCall)->Unit(benchmark::kMicrosecond)->Iterations(20000);

} // namespace
