#include "audio/AacWriter.h"
#include "audio/AudioFile.h"
#include "audio/AudioFixtures.h"
#include "store/DebugLog.h"
#include "transcription/EnergyVoiceDetector.h"
#include "transcription/SilenceTrimmer.h"

#include <QCoroTask>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <thread>

using namespace AudioFixtures;

namespace {

// Returns the ranges it was given and records how it was called.
class ScriptedDetector : public VoiceActivityDetector
{
public:
    std::vector<SpeechSegment> segments;
    QString failure;
    std::atomic<int>* calls = nullptr;
    std::atomic<int>* running = nullptr;
    std::atomic<int>* maxRunning = nullptr;

    Expected<std::vector<SpeechSegment>, QString> segment(std::span<const float>) override
    {
        ++*calls;
        const int now = ++*running;
        int seen = maxRunning->load();
        while (now > seen && !maxRunning->compare_exchange_weak(seen, now)) {
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        --*running;
        if (!failure.isEmpty())
            return unexpected(failure);
        return segments;
    }
};

// Syllable-like bursts: 120-300 ms of shaped noise at varying loudness, with the short
// (60-160 ms) near-silent gaps of running speech between them.
std::vector<float> speechLike(double seconds, unsigned seed = 3)
{
    std::mt19937 gen(seed);
    std::uniform_int_distribution<int> burst(1920, 4800), gap(960, 2560);
    std::uniform_real_distribution<float> level(0.05f, 0.2f);
    std::normal_distribution<float> n(0.0f, 1.0f);
    std::vector<float> s(static_cast<size_t>(seconds * 16000));
    size_t i = 0;
    while (i < s.size()) {
        const int len = burst(gen);
        const float a = level(gen);
        for (int k = 0; k < len && i < s.size(); ++k, ++i)
            s[i] = a * float(std::sin(M_PI * k / len)) * n(gen);
        for (int k = gap(gen); k > 0 && i < s.size(); --k, ++i)
            s[i] = 0.0005f * n(gen);
    }
    return s;
}

std::vector<float> hum(double seconds, float amplitude)
{
    auto s = sine(seconds, 50.0, amplitude);
    auto h3 = sine(seconds, 150.0, amplitude / 3);
    for (size_t i = 0; i < s.size(); ++i)
        s[i] += h3[i];
    return s;
}

} // namespace

class TestSilenceTrimmer : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    std::unique_ptr<DebugLog> m_log;
    QString path(const QString& name) const { return m_dir.filePath(name); }
    QString wav(const QString& name, const std::vector<float>& samples)
    {
        const QString p = path(name);
        writeWav(p, samples);
        return p;
    }
    QString lastLogLine()
    {
        const QStringList lines = m_log->contents().split('\n', Qt::SkipEmptyParts);
        return lines.isEmpty() ? QString() : lines.last();
    }

private Q_SLOTS:
    void init()
    {
        m_log.reset();
        QFile::remove(m_dir.filePath("mirelo-debug.log"));
        m_log = std::make_unique<DebugLog>(m_dir.path());
    }

    void outcomeRules_data();
    void outcomeRules();
    void recordingsAreCutWithoutReencoding();
    void failuresSendTheRecordingUnchanged_data();
    void failuresSendTheRecordingUnchanged();
    void callsAreSerialisedAndTheDetectorLoadedOnce();
    void energyDetectorOnGeneratedAudio_data();
    void energyDetectorOnGeneratedAudio();
    void energyDetectorFindsRealSpeech_data();
    void energyDetectorFindsRealSpeech();
};

void TestSilenceTrimmer::outcomeRules_data()
{
    QTest::addColumn<int>("samples");
    QTest::addColumn<std::vector<SpeechSegment>>("segments");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("detectorCalls");
    QTest::addColumn<QString>("log");
    using K = TrimOutcome::Kind;
    QTest::newRow("1600 samples: not examined") << 1600 << std::vector<SpeechSegment>{} << int(K::unchanged) << 0 << "";
    QTest::newRow("1601 samples, no speech") << 1601 << std::vector<SpeechSegment>{} << int(K::empty) << 1 << "";
    QTest::newRow("silence") << 160000 << std::vector<SpeechSegment>{} << int(K::empty) << 1 << "";
    QTest::newRow("95% speech") << 160000 << std::vector<SpeechSegment>{{0, 76000}, {80000, 160000}}
                                << int(K::unchanged) << 1 << "";
    QTest::newRow("90% exactly is trimmed") << 160000 << std::vector<SpeechSegment>{{16000, 160000}} << int(K::trimmed) << 1
                                            << "VAD trim: 160000 → 144000 échantillons (10% silence retiré)";
    QTest::newRow("85% speech") << 160000 << std::vector<SpeechSegment>{{8000, 64000}, {80000, 160000}}
                                << int(K::trimmed) << 1
                                << "VAD trim: 160000 → 136000 échantillons (15% silence retiré)";
    QTest::newRow("ranges past the end are clipped")
        << 32000 << std::vector<SpeechSegment>{{-50, 8000}, {30000, 99999}} << int(K::trimmed) << 1
        << "VAD trim: 32000 → 10000 échantillons (68% silence retiré)";
    QTest::newRow("overlapping ranges count once")
        << 32000 << std::vector<SpeechSegment>{{8000, 16000}, {0, 10000}, {12000, 14000}} << int(K::trimmed) << 1
        << "VAD trim: 32000 → 16000 échantillons (50% silence retiré)";
}

void TestSilenceTrimmer::outcomeRules()
{
    QFETCH(int, samples);
    QFETCH(std::vector<SpeechSegment>, segments);
    QFETCH(int, kind);
    QFETCH(int, detectorCalls);
    QFETCH(QString, log);
    const QString file = wav("rules.wav", noise(samples / 16000.0, 0.1f));
    std::atomic<int> calls = 0, running = 0, maxRunning = 0;
    SilenceTrimmer trimmer(*m_log, [&]() -> Expected<std::unique_ptr<VoiceActivityDetector>, QString> {
        auto d = std::make_unique<ScriptedDetector>();
        d->segments = segments;
        d->calls = &calls;
        d->running = &running;
        d->maxRunning = &maxRunning;
        return std::unique_ptr<VoiceActivityDetector>(std::move(d));
    }, m_dir.path());

    const TrimOutcome out = QCoro::waitFor(trimmer.trim(file));
    QCOMPARE(int(out.kind), kind);
    QCOMPARE(calls.load(), detectorCalls);
    if (out.kind == TrimOutcome::Kind::unchanged)
        QCOMPARE(out.file, file);
    if (out.kind == TrimOutcome::Kind::trimmed) {
        QVERIFY(out.file != file);
        QVERIFY(out.file.startsWith(m_dir.path()) && out.file.endsWith(".m4a"));
        const QString log_ = lastLogLine();
        QVERIFY2(log_.endsWith("[FLOW] " + log), qPrintable(log_));
        // The copy holds the kept samples, as AAC 16 kHz mono.
        auto decoded = AudioFile::decodeMono16k(out.file);
        OVRA_VERIFY_OK(decoded);
        const qint64 expected = log.section("→ ", 1).section(' ', 0, 0).toLongLong();
        QVERIFY2(std::abs(qint64(decoded->size()) - expected) < 1024, qPrintable(QString::number(decoded->size())));
        QFile::remove(out.file);
    } else {
        QVERIFY(!lastLogLine().contains("VAD trim"));
    }
}

// An AAC recording is cut by copying its frames: the copy holds the tone, not the silence.
void TestSilenceTrimmer::recordingsAreCutWithoutReencoding()
{
    const QString file = path("recording.m4a");
    {
        AacWriter w;
        QVERIFY(w.open(file, 16000, 40000));
        QVERIFY(w.write(sine(2.0, 300.0, 0.5f)));
        QVERIFY(w.write(silence(2.0)));
        QVERIFY(w.write(sine(2.0, 500.0, 0.5f)));
        QVERIFY(w.finish());
    }
    std::atomic<int> calls = 0, running = 0, maxRunning = 0;
    SilenceTrimmer trimmer(*m_log, [&]() -> Expected<std::unique_ptr<VoiceActivityDetector>, QString> {
        auto d = std::make_unique<ScriptedDetector>();
        d->segments = {{0, 32000}, {64000, 96000}};
        d->calls = &calls;
        d->running = &running;
        d->maxRunning = &maxRunning;
        return std::unique_ptr<VoiceActivityDetector>(std::move(d));
    }, m_dir.path());
    const TrimOutcome out = QCoro::waitFor(trimmer.trim(file));
    QCOMPARE(int(out.kind), int(TrimOutcome::Kind::trimmed));
    QVERIFY2(lastLogLine().contains("→ 64000 échantillons (33% silence retiré)"), qPrintable(lastLogLine()));
    auto decoded = AudioFile::decodeMono16k(out.file);
    OVRA_VERIFY_OK(decoded);
    // Frames are 1024 samples: each cut may keep up to one more frame on either side.
    QVERIFY2(std::abs(qint64(decoded->size()) - 64000) <= 4096, qPrintable(QString::number(decoded->size())));
    int quiet = 0;
    for (size_t at = 0; at + 320 <= decoded->size(); at += 320)
        quiet += rms(decoded->data() + at, 320) < 0.05;
    QVERIFY2(quiet * 320 <= 4096, qPrintable(QString("%1 quiet frames").arg(quiet)));
    QFile::remove(out.file);
}

void TestSilenceTrimmer::failuresSendTheRecordingUnchanged_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("loadError");
    QTest::addColumn<QString>("detectError");
    QTest::addColumn<QString>("logged");
    QTest::newRow("not audio") << "text" << "" << "" << "Fichier audio illisible";
    QTest::newRow("missing file") << "missing" << "" << "" << "Fichier audio introuvable";
    QTest::newRow("detector does not load") << "ok" << "modèle absent" << "" << "modèle absent";
    QTest::newRow("detector fails") << "ok" << "" << "segmentation impossible" << "segmentation impossible";
}

void TestSilenceTrimmer::failuresSendTheRecordingUnchanged()
{
    QFETCH(QString, file);
    QFETCH(QString, loadError);
    QFETCH(QString, detectError);
    QFETCH(QString, logged);
    QString input = path(file + ".m4a");
    if (file == "ok")
        input = wav("ok.wav", noise(2.0, 0.1f));
    if (file == "text") {
        QFile f(input);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("not audio");
    }
    std::atomic<int> calls = 0, running = 0, maxRunning = 0;
    SilenceTrimmer trimmer(*m_log, [&]() -> Expected<std::unique_ptr<VoiceActivityDetector>, QString> {
        if (!loadError.isEmpty())
            return unexpected(loadError);
        auto d = std::make_unique<ScriptedDetector>();
        d->failure = detectError;
        d->calls = &calls;
        d->running = &running;
        d->maxRunning = &maxRunning;
        return std::unique_ptr<VoiceActivityDetector>(std::move(d));
    }, m_dir.path());
    const TrimOutcome out = QCoro::waitFor(trimmer.trim(input));
    QCOMPARE(int(out.kind), int(TrimOutcome::Kind::unchanged));
    QCOMPARE(out.file, input);
    const QString line = lastLogLine();
    QVERIFY2(line.contains("[FLOW] VAD trim échoué (") && line.contains(logged) &&
                 line.endsWith(") — fichier complet utilisé"),
             qPrintable(line));
}

void TestSilenceTrimmer::callsAreSerialisedAndTheDetectorLoadedOnce()
{
    const QString file = wav("serial.wav", noise(1.0, 0.1f));
    std::atomic<int> calls = 0, running = 0, maxRunning = 0, loads = 0;
    SilenceTrimmer trimmer(*m_log, [&]() -> Expected<std::unique_ptr<VoiceActivityDetector>, QString> {
        ++loads;
        auto d = std::make_unique<ScriptedDetector>();
        d->segments = {{0, 16000}};
        d->calls = &calls;
        d->running = &running;
        d->maxRunning = &maxRunning;
        return std::unique_ptr<VoiceActivityDetector>(std::move(d));
    }, m_dir.path());
    auto all = [&]() -> QCoro::Task<int> {
        std::vector<QCoro::Task<TrimOutcome>> tasks;
        for (int i = 0; i < 4; ++i)
            tasks.push_back(trimmer.trim(file));
        int unchanged = 0;
        for (auto& t : tasks)
            unchanged += (co_await t).kind == TrimOutcome::Kind::unchanged;
        co_return unchanged;
    };
    QCOMPARE(QCoro::waitFor(all()), 4);
    QCOMPARE(calls.load(), 4);
    QCOMPARE(maxRunning.load(), 1);
    QCOMPARE(loads.load(), 1);
}

void TestSilenceTrimmer::energyDetectorOnGeneratedAudio_data()
{
    QTest::addColumn<std::vector<float>>("samples");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("log");
    using K = TrimOutcome::Kind;
    QTest::newRow("digital silence") << silence(10.0) << int(K::empty) << "";
    QTest::newRow("quiet room noise") << noise(10.0, 0.0005f) << int(K::empty) << "";
    QTest::newRow("steady mains hum") << hum(10.0, 0.3f) << int(K::empty) << "";

    std::vector<float> mostly = speechLike(9.5);
    append(mostly, silence(0.5));
    QTest::newRow("95% speech") << mostly << int(K::unchanged) << "";

    // The detector keeps 0.1 s before and 0.2 s after speech, so a 1.85 s gap loses 1.55 s.
    static_assert(EnergyVoiceDetector::kPreRollFrames * 20 == 100 && EnergyVoiceDetector::kHangoverFrames * 20 == 200);
    std::vector<float> gap = speechLike(4.0, 5);
    append(gap, noise(1.85, 0.0005f, 16000, 9));
    append(gap, speechLike(4.15, 6));
    QTest::newRow("85% speech") << gap << int(K::trimmed) << "échantillons (15% silence retiré)";
}

void TestSilenceTrimmer::energyDetectorOnGeneratedAudio()
{
    QFETCH(std::vector<float>, samples);
    QFETCH(int, kind);
    QFETCH(QString, log);
    const QString file = wav("generated.wav", samples);
    SilenceTrimmer trimmer(*m_log, {}, m_dir.path());
    const TrimOutcome out = QCoro::waitFor(trimmer.trim(file));
    QCOMPARE(int(out.kind), kind);
    if (!log.isEmpty())
        QVERIFY2(lastLogLine().endsWith(log), qPrintable(lastLogLine()));
    if (out.kind == TrimOutcome::Kind::trimmed)
        QFile::remove(out.file);
}

void TestSilenceTrimmer::energyDetectorFindsRealSpeech_data()
{
    QTest::addColumn<float>("humLevel");
    QTest::newRow("clean") << 0.0f;
    QTest::newRow("over a hum") << 0.02f;
}

// espeak-ng speech between 1.5 s of silence on each side: found, and the silence cut.
void TestSilenceTrimmer::energyDetectorFindsRealSpeech()
{
    QFETCH(float, humLevel);
    QVERIFY(speechWav(path("speech.wav"), "hello world this is a test", 1.5));
    auto speech = AudioFile::decodeMono16k(path("speech.wav"));
    OVRA_VERIFY_OK(speech);
    std::vector<float> samples = speech.value();
    if (humLevel > 0) {
        const auto h = hum(double(samples.size()) / 16000 + 1, humLevel);
        for (size_t i = 0; i < samples.size(); ++i)
            samples[i] += h[i];
    }
    EnergyVoiceDetector detector;
    auto segments = detector.segment(samples);
    QVERIFY(segments && !segments->empty());
    const qint64 first = segments->front().start, last = segments->back().end;
    const qint64 n = qint64(samples.size());
    // espeak-ng adds a little silence of its own around the words.
    QVERIFY2(first > 16000 && first < 28000, qPrintable(QString::number(first)));
    QVERIFY2(last < n - 16000 && last > n - 32000, qPrintable(QString::number(n - last)));

    const QString file = wav("speech-mixed.wav", samples);
    SilenceTrimmer trimmer(*m_log, {}, m_dir.path());
    const TrimOutcome out = QCoro::waitFor(trimmer.trim(file));
    QCOMPARE(int(out.kind), int(TrimOutcome::Kind::trimmed));
    auto seconds = AudioFile::duration(out.file);
    OVRA_VERIFY_OK(seconds);
    QVERIFY(*seconds < double(n) / 16000 - 2.0);
    QFile::remove(out.file);
}

QTEST_GUILESS_MAIN(TestSilenceTrimmer)
#include "tst_silencetrimmer.moc"
