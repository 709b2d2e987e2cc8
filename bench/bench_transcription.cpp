// Upload compression of a long recording, and the memory an upload of a large file costs.
// Targets: compressing 10 minutes of 44.1 kHz stereo WAV ≤ 2 s; peak extra memory while
// uploading a 25 MB file ≤ 2 × its size.
#include "fakes/LocalHttpServer.h"
#include "fakes/WavHeader.h"
#include "store/DebugLog.h"
#include "transcription/CloudTranscriber.h"
#include "transcription/UploadCompressor.h"

#include <QCoreApplication>
#include <QCoroTask>
#include <QDataStream>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtMath>
#include <benchmark/benchmark.h>
#include <sys/resource.h>

namespace {

QTemporaryDir& workDir()
{
    static QTemporaryDir dir;
    return dir;
}

QString tenMinuteWav()
{
    static const QString path = [] {
        const QString p = workDir().filePath("ten-minutes.wav");
        const int rate = 44100, channels = 2;
        const quint32 frames = 600 * rate;
        const quint32 dataBytes = frames * channels * 2;
        QFile f(p);
        f.open(QIODevice::WriteOnly);
        f.write(wavHeader(dataBytes, rate, channels));
        QByteArray block;
        block.reserve(rate * channels * 2);
        for (quint32 i = 0; i < frames; ++i) {
            const qint16 v = qint16(6000 * qSin(2 * M_PI * (220 + (i / rate) % 400) * double(i) / rate));
            const char bytes[4] = {char(v & 0xff), char(v >> 8), char(v & 0xff), char(v >> 8)};
            block.append(bytes, 4);
            if (block.size() >= rate * channels * 2) {
                f.write(block);
                block.clear();
            }
        }
        f.write(block);
        return p;
    }();
    return path;
}

QString randomFile(qint64 bytes)
{
    const QString p = workDir().filePath(QStringLiteral("upload-%1.m4a").arg(bytes));
    if (QFile::exists(p))
        return p;
    QFile f(p);
    f.open(QIODevice::WriteOnly);
    QRandomGenerator gen(7);
    QByteArray block(1 << 20, '\0');
    for (qint64 left = bytes; left > 0; left -= block.size()) {
        gen.fillRange(reinterpret_cast<quint32*>(block.data()), block.size() / 4);
        f.write(block.constData(), std::min<qint64>(left, block.size()));
    }
    return p;
}

qint64 statusKB(const char* field)
{
    QFile f("/proc/self/status");
    f.open(QIODevice::ReadOnly);
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').first().toLongLong();
    return 0;
}

void resetPeak()
{
    QFile f("/proc/self/clear_refs");
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}

template <class T>
T run(QCoro::Task<T>&& task)
{
    std::optional<T> out;
    QCoro::waitFor([](QCoro::Task<T> t, std::optional<T>& o) -> QCoro::Task<> { o.emplace(co_await std::move(t)); }(
        std::move(task), out));
    return std::move(*out);
}

void BM_CompressTenMinuteWav(benchmark::State& state)
{
    const QString input = tenMinuteWav();
    DebugLog log(workDir().filePath("log"));
    UploadCompressor compressor(log, workDir().path());
    auto cpuSeconds = [] {
        rusage u{};
        getrusage(RUSAGE_SELF, &u);
        return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
    };
    const double cpuBefore = cpuSeconds();
    for (auto _ : state) {
        const QString out = run(compressor.compressForUploadIfBeneficial(input));
        if (out == input)
            state.SkipWithError("compression failed");
        state.PauseTiming();
        state.counters["output_KB"] = double(QFileInfo(out).size()) / 1024;
        QFile::remove(out);
        state.ResumeTiming();
    }
    // Process CPU time per compression (all threads): what the machine's load does not change.
    state.counters["cpu_s_per_run"] = (cpuSeconds() - cpuBefore) / double(state.iterations());
    state.counters["input_MB"] = double(QFileInfo(input).size()) / 1e6;
}
BENCHMARK(BM_CompressTenMinuteWav)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// arg 0: multipart (OpenAI/Groq), 1: Gemini JSON with Base64 audio.
void BM_Upload25MBPeakMemory(benchmark::State& state)
{
    const qint64 size = 25'000'000;
    const QString file = randomFile(size);
    LocalHttpServer server;
    server.setDiscardBodies(true);
    server.setDefaultReply(LocalHttpServer::Reply::json(
        200, R"({"text":"ok","candidates":[{"content":{"parts":[{"text":"ok"}]}}]})"));
    APINetworkClient network;
    CloudTranscriber cloud(network, [](KeychainKey) { return std::optional<QString>("key"); },
                           ServiceHosts{server.url(), server.url(), server.url(), server.url()});
    double worst = 0;
    for (auto _ : state) {
        resetPeak();
        const qint64 before = statusKB("VmRSS:");
        const auto text = state.range(0) == 0
                              ? run(cloud.transcribeMultipart(TranscriptionProvider::openai, file, "whisper-1", "fr",
                                                              std::nullopt))
                              : run(cloud.transcribeGemini(file, "gemini-2.5-flash", "fr", std::nullopt));
        const qint64 peak = statusKB("VmHWM:");
        if (!text)
            state.SkipWithError(qPrintable(text.error().description()));
        worst = std::max(worst, double(peak - before) * 1024);
    }
    state.counters["file_MB"] = double(size) / 1e6;
    state.counters["peak_extra_MB"] = worst / 1e6;
    state.counters["peak_extra_x_file"] = worst / double(size);
    state.counters["uploaded_MB"] = double(server.requests.last().bodySize) / 1e6;
}
BENCHMARK(BM_Upload25MBPeakMemory)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

} // namespace
