#include "SilenceTrimmer.h"

#include "audio/AacWriter.h"
#include "audio/AudioFile.h"
#include "store/DebugLog.h"
#include "transcription/EnergyVoiceDetector.h"

#include <QCoroFuture>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QUuid>
#include <QtConcurrent>

struct SilenceTrimmer::Result
{
    TrimOutcome outcome;
    QString logLine;
};

SilenceTrimmer::SilenceTrimmer(DebugLog& log, DetectorLoader loader, QString tempFolder, QObject* parent)
    : QObject(parent), m_log(log), m_loader(std::move(loader)),
      m_tempFolder(tempFolder.isEmpty() ? QDir::tempPath() : std::move(tempFolder))
{
    if (!m_loader)
        m_loader = [] { return Expected<std::unique_ptr<VoiceActivityDetector>, QString>(std::make_unique<EnergyVoiceDetector>()); };
    m_pool.setMaxThreadCount(1);
}

SilenceTrimmer::~SilenceTrimmer()
{
    m_pool.waitForDone();
}

QCoro::Task<TrimOutcome> SilenceTrimmer::trim(QString file)
{
    QPointer<SilenceTrimmer> self(this);
    // Keep the future in a named local: GCC 12 mishandles temporaries inside co_await.
    QFuture<Result> job = QtConcurrent::run(&m_pool, [this, file] { return run(file); });
    Result result = co_await job;
    if (self && !result.logLine.isEmpty())
        m_log.log(result.logLine, QStringLiteral("FLOW"));
    co_return result.outcome;
}

void SilenceTrimmer::reloadDetector()
{
    // On the trimmer's own thread, after the trims already queued.
    m_pool.start([this] {
        m_detector.reset();
        m_loadError.clear();
    });
}

SilenceTrimmer::Result SilenceTrimmer::run(const QString& file)
{
    const TrimOutcome unchanged{TrimOutcome::Kind::unchanged, file};
    auto failed = [&](const QString& why) {
        return Result{unchanged, QStringLiteral("VAD trim échoué (") + why + QStringLiteral(") — fichier complet utilisé")};
    };

    auto decoded = AudioFile::decodeMono16k(file);
    if (!decoded)
        return failed(decoded.error().message);
    const std::vector<float>& samples = decoded.value();
    const qint64 total = qint64(samples.size());
    if (total < kMinimumSamples)
        return {unchanged, {}};

    if (!m_detector && m_loadError.isEmpty()) {
        auto loaded = m_loader();
        if (loaded)
            m_detector = std::move(loaded.value());
        else
            m_loadError = loaded.error();
    }
    if (!m_detector)
        return failed(m_loadError);
    auto segments = m_detector->segment(samples);
    if (!segments)
        return failed(segments.error());

    // Sorted and merged, so that no sample is counted or kept twice whatever the detector returns.
    std::vector<AudioFile::SampleRange> ranges;
    for (const SpeechSegment& s : segments.value()) {
        const qint64 from = std::clamp<qint64>(s.start, 0, total);
        const qint64 to = std::clamp<qint64>(s.end, from, total);
        if (to > from)
            ranges.push_back({from, to});
    }
    std::sort(ranges.begin(), ranges.end(), [](const auto& a, const auto& b) { return a.start < b.start; });
    std::vector<AudioFile::SampleRange> merged;
    for (const auto& r : ranges) {
        if (!merged.empty() && r.start <= merged.back().end)
            merged.back().end = std::max(merged.back().end, r.end);
        else
            merged.push_back(r);
    }
    ranges.swap(merged);
    qint64 keptCount = 0;
    for (const auto& r : ranges)
        keptCount += r.end - r.start;
    if (keptCount == 0)
        return {{TrimOutcome::Kind::empty, {}}, {}};
    if (keptCount > static_cast<qint64>(0.9 * double(total)))
        return {unchanged, {}};

    const QString out = QDir(m_tempFolder).filePath(QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper() +
                                                   QStringLiteral(".m4a"));
    // Our own recordings are already AAC 16 kHz mono: their frames are copied as they are, which
    // takes a fraction of a re-encode. Anything else is encoded anew.
    auto written = AudioFile::copyAacRanges(file, out, ranges);
    if (!written) {
        std::vector<float> kept;
        kept.reserve(size_t(keptCount));
        for (const auto& r : ranges)
            kept.insert(kept.end(), samples.begin() + r.start, samples.begin() + r.end);
        AacWriter writer;
        written = writer.open(out, kSampleRate, kBitRate);
        if (written)
            written = writer.write(kept);
        if (written)
            written = writer.finish();
    }
    if (!written) {
        QFile::remove(out);
        return failed(written.error().message);
    }
    // Integer arithmetic: in floating point 10 % removed would print as 9 %.
    const qint64 percent = (total - keptCount) * 100 / total;
    return {{TrimOutcome::Kind::trimmed, out},
            QStringLiteral("VAD trim: %1 → %2 échantillons (%3% silence retiré)").arg(total).arg(keptCount).arg(percent)};
}
