// The Whisper service against whisper.cpp's own whisper_full on the same model and the same
// 60 s recording (same threads and decoding options), the load with its warm-up, and the peak
// memory while a model is loaded. The model is the tiny random-weight one of the tests (real
// models cannot be fetched here): the comparison is of our overhead around the engine.
#include "fakes/AwaitTask.h"
#include "fakes/WavHeader.h"
#include "localmodels/TinyWhisperModel.h"
#include "localmodels/WhisperCppEngine.h"
#include "localmodels/WhisperKitTranscriptionService.h"
#include "audio/AudioFile.h"
#include "store/DebugLog.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <whisper.h>

namespace {

struct Fixture
{
    QTemporaryDir dir;
    QString model = dir.filePath(QStringLiteral("ggml-tiny.bin"));
    QString audio = dir.filePath(QStringLiteral("minute.wav"));
    DebugLog log{dir.filePath(QStringLiteral("log"))};

    Fixture()
    {
        TinyWhisperModel::write(model);
        QByteArray pcm(16000 * 60 * 2, '\0');
        QRandomGenerator random(3);
        for (qsizetype i = 0; i < pcm.size(); i += 2) {
            const qint16 s = qint16(random.bounded(-4000, 4000));
            pcm[i] = char(s & 0xff);
            pcm[i + 1] = char((s >> 8) & 0xff);
        }
        QFile f(audio);
        if (f.open(QIODevice::WriteOnly))
            f.write(wavHeader(quint32(pcm.size()), 16000, 1) + pcm);
    }
    std::unique_ptr<WhisperKitTranscriptionService> service()
    {
        return std::make_unique<WhisperKitTranscriptionService>(
            log, [this](const QString&) { return model; }, &WhisperCppEngine::load, WhisperCppEngine::defaultThreads());
    }
};

Fixture& fixture()
{
    static Fixture f;
    return f;
}

double megabytesOf(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return 0;
}

const QString kTiny = QStringLiteral("openai_whisper-tiny");

// Our path: the recording decoded from its file and transcribed by the loaded service.
void BM_ServiceTranscribe60s(benchmark::State& state)
{
    auto whisper = fixture().service();
    if (!awaitTask(whisper->load(kTiny)))
        return state.SkipWithError("model did not load");
    for (auto _ : state) {
        const auto text = awaitTask(whisper->transcribe(fixture().audio, kTiny, QStringLiteral("fr")));
        if (!text)
            return state.SkipWithError(qPrintable(text.error().message));
        benchmark::DoNotOptimize(text.value());
    }
}
BENCHMARK(BM_ServiceTranscribe60s)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// whisper.cpp alone: the same file decoded the same way, then whisper_full with the options
// our engine passes.
void BM_WhisperFull60s(benchmark::State& state)
{
    whisper_context_params cp = whisper_context_default_params();
    cp.use_gpu = false;
    whisper_context* ctx = whisper_init_from_file_with_params(QFile::encodeName(fixture().model).constData(), cp);
    if (!ctx)
        return state.SkipWithError("model did not load");
    for (auto _ : state) {
        const auto samples = AudioFile::decodeMono16k(fixture().audio);
        whisper_full_params p = whisper_full_default_params(WHISPER_SAMPLING_GREEDY);
        p.n_threads = WhisperCppEngine::defaultThreads();
        p.print_progress = false;
        p.print_realtime = false;
        p.print_timestamps = false;
        p.no_timestamps = true;
        p.language = "fr";
        benchmark::DoNotOptimize(whisper_full(ctx, p, samples->data(), int(samples->size())));
    }
    whisper_free(ctx);
}
BENCHMARK(BM_WhisperFull60s)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// Load, header check and warm-up on one second of silence; then unloaded.
void BM_LoadAndPrewarm(benchmark::State& state)
{
    auto whisper = fixture().service();
    for (auto _ : state) {
        if (!awaitTask(whisper->load(kTiny)))
            return state.SkipWithError("model did not load");
        state.PauseTiming();
        whisper->unloadAll();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_LoadAndPrewarm)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

// Resident memory with the model loaded and after one transcription (VmHWM: the peak so far).
void BM_MemoryLoaded(benchmark::State& state)
{
    const double before = megabytesOf("VmRSS:");
    auto whisper = fixture().service();
    for (auto _ : state) {
        if (!awaitTask(whisper->transcribe(fixture().audio, kTiny, QStringLiteral("fr"))))
            return state.SkipWithError("transcription failed");
    }
    state.counters["rss_before_MB"] = before;
    state.counters["rss_loaded_MB"] = megabytesOf("VmRSS:");
    state.counters["peak_MB"] = megabytesOf("VmHWM:");
}
BENCHMARK(BM_MemoryLoaded)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

} // namespace
