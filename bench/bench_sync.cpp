// Cloud-folder sync over a store of 100,000 dictations: a sync with no change on either side
// (target 300 ms, nothing written), in the running program and right after a restart; and a
// sync applying 10,000 new dictations from another device (target 2 s); the rollback snapshot of
// 100,000 dictations and how long it holds the event loop.
#include "fakes/AwaitTask.h"
#include "store/AppSettingsKeys.h"
#include "store/DebugLog.h"
#include "store/Notifications.h"
#include "store/RecordStore.h"
#include "store/Settings.h"
#include "sync/ICloudSync.h"
#include "sync/RollbackSnapshots.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>
#include <benchmark/benchmark.h>

namespace {

// The longest time the event loop went without running a 1 ms timer while it was alive.
class StallProbe
{
public:
    StallProbe()
    {
        m_timer.setInterval(1);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            m_longest = std::max(m_longest, m_sinceLast.nsecsElapsed());
            m_sinceLast.restart();
        });
        m_sinceLast.start();
        m_timer.start();
    }
    double longestMs() const { return double(std::max(m_longest, m_sinceLast.nsecsElapsed())) / 1e6; }

private:
    QTimer m_timer;
    QElapsedTimer m_sinceLast;
    qint64 m_longest = 0;
};

struct Device
{
    QString folder;
    std::unique_ptr<RecordStore> store;
    std::unique_ptr<Settings> settings;
    DebugLog log;
    Notifications notifications;
    std::unique_ptr<ICloudSync> sync;

    Device(const QString& dir, const QString& cloud) : folder(dir), log(dir + QStringLiteral("/data"))
    {
        restart();
        settings->setValue(AppSettingsKey::cloudFolder, cloud);
    }
    // What the program has after a restart: the store and settings read back, a new sync service.
    void restart()
    {
        sync.reset();
        if (settings)
            settings->sync();
        store.reset();
        settings.reset();
        store = std::move(RecordStore::open(folder + QStringLiteral("/ovra.sqlite"), {}).value());
        settings = std::make_unique<Settings>(folder + QStringLiteral("/config"));
        sync = std::make_unique<ICloudSync>(ICloudSync::Dependencies{*settings, log, notifications,
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
    const BackupPayload local = makeRecordsPayload(*d.store, *d.settings);
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
        // Something already here, so that the rollback snapshot is taken.
        fill(*d->store, 1, 60 * 24 * 365);
        state.ResumeTiming();
        {
            StallProbe probe;
            d->run();
            state.counters["main_thread_stall_ms"] = probe.longestMs();
        }
        state.PauseTiming();
        // Each earlier round's device sent its own dictation to the folder too.
        if (d->store->count<Transcription>() != 10000 + round) {
            state.SkipWithError("not applied");
            break;
        }
        d.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_SyncApplying10kRemote)->Unit(benchmark::kMillisecond)->Iterations(3);

// The snapshot taken before remote records are applied, on a store of 100,000 dictations: its
// time, and the longest the event loop waited meanwhile (the snapshot runs on a worker thread).
void BM_RollbackSnapshot100k(benchmark::State& state)
{
    QTemporaryDir dir;
    QDir().mkpath(dir.filePath(QStringLiteral("device")));
    Device d(dir.filePath(QStringLiteral("device")), dir.filePath(QStringLiteral("cloud")));
    fill(*d.store, 100000, 0);
    RollbackSnapshots snapshots(dir.filePath(QStringLiteral("OvraRollback")));
    double stall = 0;
    for (auto _ : state) {
        StallProbe probe;
        if (!awaitTask(snapshots.writeInBackground(d.store->path(), {})))
            state.SkipWithError("no snapshot");
        stall = std::max(stall, probe.longestMs());
    }
    state.counters["main_thread_stall_ms"] = stall;
    state.counters["snapshot_MB"] = double(QFileInfo(snapshots.snapshots().last()).size()) / 1048576.0;
}
BENCHMARK(BM_RollbackSnapshot100k)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
