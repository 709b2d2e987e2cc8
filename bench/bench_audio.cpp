// Targets: recorder CPU while recording <= 2 % of one core; stop-to-file of a 60 s recording
// <= 50 ms; trimming a 10-minute file <= 1 s; the system recogniser's real-time factor;
// key-down to the first captured sample <= 30 ms; the main thread's longest stall during a
// 60 s recording <= 5 ms.
#include "audio/AacWriter.h"
#include "audio/AudioFile.h"
#include "audio/AudioFixtures.h"
#include "dictation/FakeAudioCapture.h"
#include "dictation/MacAudioRecorder.h"
#include "platform/linux/pocketsphinx/PocketSphinxEngine.h"
#include "platform/linux/pulse/PulseAudioCapture.h"
#include "store/DebugLog.h"
#include "store/Settings.h"
#include "transcription/AppleSpeechManager.h"
#include "transcription/SilenceTrimmer.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QEventLoop>
#include <QTimer>
#include <QThread>
#include <QThreadPool>
#include <QtConcurrent>
#include <atomic>
#include <benchmark/benchmark.h>
#include <chrono>
#include <ctime>

using namespace AudioFixtures;

namespace {

QTemporaryDir& scratch()
{
    static QTemporaryDir dir;
    return dir;
}

double processCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// Speech-like audio: espeak-ng sentences separated by pauses, repeated to the length asked.
std::vector<float> speechAudio(double seconds)
{
    static std::vector<float> sentence;
    if (sentence.empty()) {
        const QString wav = scratch().filePath("sentence.wav");
        speechWav(wav, "hello world this is a test of the dictation benchmark", 0.3);
        sentence = AudioFile::decodeMono16k(wav).value();
    }
    std::vector<float> out;
    while (double(out.size()) < seconds * 16000) {
        append(out, sentence);
        append(out, noise(0.6, 0.001f));
    }
    out.resize(size_t(seconds * 16000));
    return out;
}

// The recorder's own work (AAC encoding, meter window) per second of audio, fed as the sound
// server feeds it: 20 ms blocks. CPU share = this time / 1 s.
void BM_RecorderWorkPerAudioSecond(benchmark::State& state)
{
    Settings settings(scratch().filePath("config"));
    FakeAudioCapture capture;
    MacAudioRecorder recorder(capture, settings, scratch().path());
    const auto second = speechAudio(1.0);
    (void)recorder.start();
    double cpu = 0;
    for (auto _ : state) {
        const double cpu0 = processCpuSeconds();
        capture.push(second);
        cpu += processCpuSeconds() - cpu0;
    }
    auto file = QCoro::waitFor(recorder.stop());
    if (file)
        QFile::remove(*file);
    // CPU seconds per second of audio, as a share of one core.
    state.counters["cpu_percent_of_one_core"] = cpu / double(state.iterations()) * 100.0;
}
BENCHMARK(BM_RecorderWorkPerAudioSecond)->Unit(benchmark::kMillisecond);

// The whole process while recording from a real sound server for 10 s with speech playing.
void BM_RecorderLiveCpu(benchmark::State& state)
{
    if (qEnvironmentVariableIsEmpty("PULSE_SERVER")) {
        state.SkipWithError("needs a sound server: tests/rigs/with-pulse.sh build/bench/bench_audio");
        return;
    }
    const QString wav = scratch().filePath("long.wav");
    writeWav(wav, speechAudio(11.0));
    Settings settings(scratch().filePath("config"));
    PulseAudioCapture capture;
    MacAudioRecorder recorder(capture, settings, scratch().path());
    for (auto _ : state) {
        QProcess player;
        player.start("paplay", {"-d", "spk", wav});
        player.waitForStarted();
        const double cpu0 = processCpuSeconds();
        QElapsedTimer wall;
        wall.start();
        (void)recorder.start();
        QEventLoop loop; // keeps the meter and elapsed timers running, as in the application
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        loop.exec();
        auto file = QCoro::waitFor(recorder.stop());
        const double cpu = processCpuSeconds() - cpu0;
        state.SetIterationTime(double(wall.nsecsElapsed()) / 1e9);
        state.counters["cpu_percent_of_one_core"] = cpu / (double(wall.nsecsElapsed()) / 1e9) * 100.0;
        player.waitForFinished();
        if (file)
            QFile::remove(*file);
    }
}
BENCHMARK(BM_RecorderLiveCpu)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

// From stop() to the finished file, after 60 s of audio.
void BM_StopToFile60s(benchmark::State& state)
{
    Settings settings(scratch().filePath("config"));
    FakeAudioCapture capture;
    MacAudioRecorder recorder(capture, settings, scratch().path());
    const auto minute = speechAudio(60.0);
    for (auto _ : state) {
        state.PauseTiming();
        (void)recorder.start();
        capture.push(minute);
        state.ResumeTiming();
        auto file = QCoro::waitFor(recorder.stop());
        state.PauseTiming();
        if (file)
            QFile::remove(*file);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_StopToFile60s)->Unit(benchmark::kMillisecond)->Iterations(10);

qint64 nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The real capture, noting when its first block of samples arrived: the first sample in the
// file was captured no later than that (the block's length earlier at best).
class TimedCapture : public AudioCapture
{
public:
    explicit TimedCapture(AudioCapture& inner) : m_inner(inner) {}
    std::atomic<qint64> firstSampleNs{-1};
    std::atomic<qint64> firstBlockSamples{0};

    Expected<QList<AudioInputDevice>, CaptureError> devices() override { return m_inner.devices(); }
    Expected<std::unique_ptr<AudioCaptureSession>, CaptureError> start(const QString& id, Callbacks cb) override
    {
        auto samples = std::move(cb.samples);
        cb.samples = [this, samples](std::span<const float> s) {
            qint64 expected = -1;
            if (firstSampleNs.compare_exchange_strong(expected, nowNs()))
                firstBlockSamples = qint64(s.size());
            samples(s);
        };
        return m_inner.start(id, std::move(cb));
    }

private:
    AudioCapture& m_inner;
};

// Key-down (the controller asks for the microphone, then starts the recorder) to the arrival
// of the first captured samples, which all land in the file, with the shared thread pool idle
// or kept busy (a recognition, a sound) at that moment; the *_captured_ms counters are when
// the audio of that first block began, first_dictation_running_ms when the capture stream was
// running (our own part; the sound server decides when the first block leaves). The first dictation follows the application's start-up,
// which connects to the sound server ahead (prewarm). The first dictation of a process gives
// one figure per run: bench/first-dictation.sh runs several.
void BM_KeyDownToFirstSample(benchmark::State& state)
{
    if (qEnvironmentVariableIsEmpty("PULSE_SERVER")) {
        state.SkipWithError("needs a sound server: tests/rigs/with-pulse.sh build/bench/bench_audio");
        return;
    }
    const bool busyPool = state.range(0) != 0;
    Settings settings(scratch().filePath("config"));
    PulseAudioCapture pulse;
    TimedCapture capture(pulse);
    MacAudioRecorder recorder(capture, settings, scratch().path());
    recorder.prewarm();
    QThread::msleep(300); // the application's start-up
    std::vector<double> ms, captured, running;
    for (auto _ : state) {
        std::atomic<bool> release{false};
        QList<QFuture<void>> busy;
        if (busyPool)
            for (int i = 0; i < QThreadPool::globalInstance()->maxThreadCount(); ++i)
                busy << QtConcurrent::run([&release] {
                    while (!release)
                        QThread::msleep(1);
                });
        capture.firstSampleNs = -1;
        const qint64 keyDown = nowNs();
        const bool granted = QCoro::waitFor(recorder.requestPermission());
        (void)recorder.start();
        running.push_back(double(nowNs() - keyDown) / 1e6);
        while (capture.firstSampleNs.load() < 0)
            QThread::usleep(200);
        ms.push_back(double(capture.firstSampleNs.load() - keyDown) / 1e6);
        // The first block holds audio up to its arrival: its first sample was captured at the
        // latest one block's length earlier. The sound server decides when blocks leave; this
        // is when the recording's audio begins.
        captured.push_back(std::max(0.0, ms.back() - double(capture.firstBlockSamples.load()) * 1000.0 /
                                                       AudioCapture::kSampleRate));
        release = true;
        for (auto& f : busy)
            f.waitForFinished();
        auto file = QCoro::waitFor(recorder.stop());
        if (file)
            QFile::remove(*file);
        if (!granted)
            state.SkipWithError("microphone refused");
    }
    state.counters["first_dictation_ms"] = ms.front();
    state.counters["first_dictation_captured_ms"] = captured.front();
    state.counters["first_dictation_running_ms"] = running.front();
    std::sort(ms.begin(), ms.end());
    std::sort(captured.begin(), captured.end());
    state.counters["median_ms"] = ms[ms.size() / 2];
    state.counters["max_ms"] = ms.back();
    state.counters["max_captured_ms"] = captured.back();
}
BENCHMARK(BM_KeyDownToFirstSample)->Arg(0)->Arg(1)->Iterations(20)->Unit(benchmark::kMillisecond);

// The main thread's lateness while recording 60 s of speech from a real sound server: a 1 ms
// timer probe on the event loop, as the panel's and the meter's timers run there. Argument 0
// runs the same probe with nothing recording: the machine's own scheduling noise, to compare.
void BM_MainThreadStall60s(benchmark::State& state)
{
    const bool recording = state.range(0) != 0;
    if (qEnvironmentVariableIsEmpty("PULSE_SERVER")) {
        state.SkipWithError("needs a sound server: tests/rigs/with-pulse.sh build/bench/bench_audio");
        return;
    }
    const QString wav = scratch().filePath("minute.wav");
    writeWav(wav, speechAudio(61.0));
    Settings settings(scratch().filePath("config"));
    PulseAudioCapture capture;
    MacAudioRecorder recorder(capture, settings, scratch().path());
    for (auto _ : state) {
        QProcess player;
        player.start("paplay", {"-d", "spk", wav});
        player.waitForStarted();
        if (recording) {
            (void)QCoro::waitFor(recorder.requestPermission());
            (void)recorder.start();
        }
        std::vector<double> late;
        // The main thread's own work between two probes, whatever the scheduler did meanwhile
        // (the recorder takes no lock on this thread, so its cost is CPU time).
        double longestWork = 0;
        const auto threadCpuNs = [] {
            timespec t{};
            clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
            return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
        };
        qint64 lastCpu = threadCpuNs();
        QTimer probe;
        probe.setTimerType(Qt::PreciseTimer);
        probe.setInterval(1);
        qint64 last = nowNs();
        QObject::connect(&probe, &QTimer::timeout, [&] {
            const qint64 t = nowNs();
            late.push_back(std::max(0.0, double(t - last) / 1e6 - 1.0));
            last = t;
            const qint64 cpu = threadCpuNs();
            longestWork = std::max(longestWork, double(cpu - lastCpu) / 1e6);
            lastCpu = cpu;
        });
        probe.start();
        QEventLoop loop;
        QTimer::singleShot(60000, &loop, &QEventLoop::quit);
        loop.exec();
        probe.stop();
        auto file = recording ? QCoro::waitFor(recorder.stop()) : std::nullopt;
        player.kill();
        player.waitForFinished();
        if (file)
            QFile::remove(*file);
        std::sort(late.begin(), late.end());
        state.counters["longest_stall_ms"] = late.back();
        state.counters["p99_stall_ms"] = late[late.size() * 99 / 100];
        state.counters["p999_stall_ms"] = late[late.size() * 999 / 1000];
        state.counters["probes"] = double(late.size());
        state.counters["longest_main_thread_work_ms"] = longestWork;
    }
}
BENCHMARK(BM_MainThreadStall60s)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kSecond);

// A 10-minute recording (AAC, as recorded) with long pauses: decode, detect, re-encode.
void BM_TrimTenMinutes(benchmark::State& state)
{
    const QString file = scratch().filePath("ten.m4a");
    if (!QFile::exists(file)) {
        AacWriter w;
        (void)w.open(file, 16000, 40000);
        for (int i = 0; i < 60; ++i) { // 10 s blocks: 7 s of speech, 3 s of room noise
            (void)w.write(speechAudio(7.0));
            (void)w.write(noise(3.0, 0.0005f));
        }
        (void)w.finish();
    }
    DebugLog log(scratch().filePath("log"));
    SilenceTrimmer trimmer(log, {}, scratch().path());
    int percent = 0;
    double cpu = 0;
    for (auto _ : state) {
        const double cpu0 = processCpuSeconds();
        const TrimOutcome out = QCoro::waitFor(trimmer.trim(file));
        cpu += processCpuSeconds() - cpu0;
        state.PauseTiming();
        if (out.kind == TrimOutcome::Kind::trimmed) {
            percent = int(100 - 100 * AudioFile::duration(out.file).value() / 600.0);
            QFile::remove(out.file);
        }
        state.ResumeTiming();
    }
    state.counters["silence_removed_percent"] = percent;
    // Wall time suffers when other work shares the cores; this is the work itself.
    state.counters["process_cpu_seconds"] = cpu / double(state.iterations());
}
BENCHMARK(BM_TrimTenMinutes)->Unit(benchmark::kMillisecond)->Iterations(3);

// PocketSphinx on 30 s of speech, model already loaded; real-time factor = time / 30 s.
void BM_SystemRecognizerRtf(benchmark::State& state)
{
    const QString wav = scratch().filePath("rtf.wav");
    writeWav(wav, speechAudio(30.0));
    PocketSphinxEngine engine;
    AppleSpeechManager manager(engine);
    (void)await(manager.transcribe(wav, "en-US")); // loads the model
    double cpu = 0;
    QElapsedTimer wall;
    wall.start();
    for (auto _ : state) {
        const double cpu0 = processCpuSeconds();
        auto text = await(manager.transcribe(wav, "en-US"));
        cpu += processCpuSeconds() - cpu0;
        benchmark::DoNotOptimize(text);
    }
    const double n = double(state.iterations());
    state.counters["real_time_factor"] = double(wall.nsecsElapsed()) / 1e9 / n / 30.0;
    state.counters["cpu_real_time_factor"] = cpu / n / 30.0;
}
BENCHMARK(BM_SystemRecognizerRtf)->Unit(benchmark::kSecond)->Iterations(2);

void BM_SystemRecognizerModelLoad(benchmark::State& state)
{
    for (auto _ : state) {
        PocketSphinxEngine engine;
        auto stream = engine.openStream("en-US");
        benchmark::DoNotOptimize(stream);
    }
}
BENCHMARK(BM_SystemRecognizerModelLoad)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
