// Cloud-folder sync over a store of 100,000 dictations: a sync with no change on either side
// (target 300 ms, nothing written), in the running program and right after a restart; and a
// sync applying 10,000 new dictations from another device (target 2 s).
#include "fakes/AwaitTask.h"
#include "store/AppSettingsKeys.h"
#include "store/DebugLog.h"
#include "store/Notifications.h"
#include "store/RecordStore.h"
#include "store/Settings.h"
#include "sync/ICloudSync.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

struct Device
{
    QString folder;
    std::unique_ptr<RecordStore> store;
    Settings settings;
    DebugLog log;
    Notifications notifications;
    std::unique_ptr<ICloudSync> sync;

    Device(const QString& dir, const QString& cloud)
        : folder(dir), store(std::move(RecordStore::open(dir + QStringLiteral("/ovra.sqlite"), {}).value())),
          settings(dir + QStringLiteral("/config")), log(dir + QStringLiteral("/data"))
    {
        settings.setValue(AppSettingsKey::cloudFolder, cloud);
        restart();
    }
    // A new sync service: what the program has after a restart.
    void restart()
    {
        sync = std::make_unique<ICloudSync>(ICloudSync::Dependencies{settings, log, notifications,
                                                                     folder + QStringLiteral("/OvraRollback"), nullptr});
        sync->setModelContext(store.get());
    }
    QString run()
    {
        awaitTask(sync->sync());
        return sync->lastMessage();
    }
};

void fill(RecordStore& store, int count, int offsetMinutes)
{
    const QString raw = QStringLiteral("alors je voulais te dire que la réunion de demain est déplacée à "
                                       "quinze heures et que nous devrons préparer les chiffres du trimestre ")
                            .repeated(2);
    const QDateTime base = QDateTime::currentDateTimeUtc().addSecs(-qint64(offsetMinutes) * 60);
    (void)store.save([&]() -> StoreResult {
        for (int i = 0; i < count; ++i) {
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

void noChange(benchmark::State& state, bool restartEachTime)
{
    QTemporaryDir dir;
    QDir().mkpath(dir.filePath(QStringLiteral("cloud")));
    QDir().mkpath(dir.filePath(QStringLiteral("device")));
    Device d(dir.filePath(QStringLiteral("device")), dir.filePath(QStringLiteral("cloud")));
    fill(*d.store, 100000, 0);
    if (d.run() != QString::fromUtf8(ICloudSync::kSentMessage))
        state.SkipWithError("first sync did not write");
    const QString file = dir.filePath(QStringLiteral("cloud/Documents/ovra-data.json"));
    const QDateTime written = QFileInfo(file).lastModified();
    for (auto _ : state) {
        if (restartEachTime) {
            state.PauseTiming();
            d.restart();
            state.ResumeTiming();
        }
        if (d.run() != QString::fromUtf8(ICloudSync::kUpToDateMessage))
            state.SkipWithError("a sync with no change did something");
    }
    if (QFileInfo(file).lastModified() != written)
        state.SkipWithError("the file was written");
    // Where the time of a sync after a restart goes: building the records and their digest.
    QElapsedTimer timer;
    timer.start();
    const BackupPayload local = makeRecordsPayload(*d.store, d.settings);
    state.counters["build_ms"] = double(timer.nsecsElapsed()) / 1e6;
    timer.restart();
    benchmark::DoNotOptimize(payloadDigest(local));
    state.counters["digest_ms"] = double(timer.nsecsElapsed()) / 1e6;
    state.counters["file_MB"] = double(QFileInfo(file).size()) / 1048576.0;
}

void BM_SyncNoChange100k(benchmark::State& state) { noChange(state, false); }
BENCHMARK(BM_SyncNoChange100k)->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_SyncNoChange100kAfterRestart(benchmark::State& state) { noChange(state, true); }
BENCHMARK(BM_SyncNoChange100kAfterRestart)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_SyncApplying10kRemote(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString cloud = dir.filePath(QStringLiteral("cloud"));
    QDir().mkpath(cloud);
    QDir().mkpath(dir.filePath(QStringLiteral("other")));
    Device other(dir.filePath(QStringLiteral("other")), cloud);
    fill(*other.store, 10000, 0);
    if (other.run() != QString::fromUtf8(ICloudSync::kSentMessage))
        state.SkipWithError("the other device did not write");
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const QString here = dir.filePath(QStringLiteral("here%1").arg(round++));
        QDir().mkpath(here);
        auto d = std::make_unique<Device>(here, cloud);
        state.ResumeTiming();
        d->run();
        state.PauseTiming();
        if (d->store->count<Transcription>() != 10000)
            state.SkipWithError("not applied");
        d.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_SyncApplying10kRemote)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
