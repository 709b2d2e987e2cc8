// Backup and statistics over a store of 100,000 dictations: export then import into an empty
// store (target 3 s together), the peak memory the export adds (target 50 MB), and the figures
// (target 100 ms).
#include "stats/BackupStats.h"
#include "store/DebugLog.h"
#include "store/RecordStore.h"
#include "store/Settings.h"
#include "sync/BackupImporter.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <atomic>
#include <thread>
#include <benchmark/benchmark.h>

namespace {

constexpr int kDictations = 100000;

std::unique_ptr<RecordStore> openStore(const QString& path)
{
    return std::move(RecordStore::open(path, {}).value());
}

// Dictations of about 60 words with their raw and replaced texts, a year of them.
void fill(RecordStore& store)
{
    const QString raw = QStringLiteral("alors je voulais te dire que la réunion de demain est déplacée à "
                                       "quinze heures et que nous devrons préparer les chiffres du trimestre ")
                            .repeated(2);
    const QDateTime base = QDateTime::currentDateTimeUtc();
    (void)store.save([&]() -> StoreResult {
        for (int i = 0; i < kDictations; ++i) {
            Transcription t;
            t.text = raw.toUpper();
            t.rawWhisperText = raw;
            t.afterReplacementsText = raw;
            t.createdAt = base.addSecs(-qint64(i) * 300);
            t.duration = 20 + i % 40;
            t.modeName = QStringLiteral("Normal");
            t.transcriptionProvider = QStringLiteral("groq");
            t.transcriptionModel = QStringLiteral("whisper-large-v3-turbo");
            t.transcriptionCostUSD = 0.0004;
            if (auto ok = store.insert(t); !ok)
                return ok;
        }
        return {};
    });
}

// Resident memory in kB: now, and the peak since the last reset.
qint64 statusKB(const char* field)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').value(0).toLongLong();
    return 0;
}

void resetPeak()
{
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}

void BM_Export100kThenImportIntoEmptyStore(benchmark::State& state)
{
    QTemporaryDir dir;
    auto source = openStore(dir.filePath(QStringLiteral("source.sqlite")));
    fill(*source);
    Settings settings(dir.filePath(QStringLiteral("config")));
    DebugLog log(dir.filePath(QStringLiteral("log")));
    const QString file = dir.filePath(QStringLiteral("ovra-donnees.json"));
    double exportMs = 0;
    double importMs = 0;
    double peakExtraMB = 0;
    double anonPeakExtraMB = 0;
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto target = openStore(dir.filePath(QStringLiteral("target%1.sqlite").arg(round++)));
        resetPeak();
        const qint64 before = statusKB("VmRSS:");
        const qint64 anonBefore = statusKB("RssAnon:");
        // The store is read through a memory map, so the resident peak also counts the file's
        // pages (page cache the kernel can drop); the program's own memory is the anonymous part,
        // sampled while the export runs.
        std::atomic<bool> exporting{true};
        std::atomic<qint64> anonPeak{anonBefore};
        std::thread sampler([&] {
            while (exporting) {
                anonPeak = std::max(anonPeak.load(), statusKB("RssAnon:"));
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        });
        state.ResumeTiming();

        QElapsedTimer timer;
        timer.start();
        if (!exportBackupFile(*source, settings, file))
            state.SkipWithError("export failed");
        exportMs += double(timer.nsecsElapsed()) / 1e6;
        exporting = false;
        sampler.join();
        peakExtraMB = std::max(peakExtraMB, double(statusKB("VmHWM:") - before) / 1024.0);
        anonPeakExtraMB = std::max(anonPeakExtraMB, double(anonPeak.load() - anonBefore) / 1024.0);

        timer.restart();
        BackupImporter importer(*target, settings, log);
        const auto summary = importer.importFile(file);
        importMs += double(timer.nsecsElapsed()) / 1e6;
        if (!summary || summary->transcriptions != kDictations)
            state.SkipWithError("import failed");
    }
    state.counters["export_ms"] = exportMs / double(state.iterations());
    state.counters["import_ms"] = importMs / double(state.iterations());
    state.counters["export_peak_extra_MB"] = peakExtraMB; // mapped store pages included
    state.counters["export_peak_extra_anon_MB"] = anonPeakExtraMB;
    state.counters["file_MB"] = double(QFileInfo(file).size()) / 1048576.0;
}
BENCHMARK(BM_Export100kThenImportIntoEmptyStore)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ComputeStats100k(benchmark::State& state)
{
    QTemporaryDir dir;
    auto store = openStore(dir.filePath(QStringLiteral("s.sqlite")));
    fill(*store);
    for (auto _ : state) {
        const BackupStats s = computeStats(*store);
        benchmark::DoNotOptimize(s);
        if (s.totalCount != kDictations)
            state.SkipWithError("wrong count");
    }
}
BENCHMARK(BM_ComputeStats100k)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace
