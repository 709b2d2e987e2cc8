#include "SileroVoiceDetector.h"

#include "SileroModelFile.h"

#include <QFile>
#include <whisper.h>

namespace {

void quiet(ggml_log_level, const char*, void*) {}

// The engine speaks in hundredths of a second.
qint64 samplesOf(float centiseconds) { return qint64(double(centiseconds) * 160.0 + 0.5); }

} // namespace

SileroVoiceDetector::~SileroVoiceDetector()
{
    whisper_vad_free(m_context);
}

Expected<std::unique_ptr<VoiceActivityDetector>, QString> SileroVoiceDetector::load(const QString& modelFile,
                                                                                    int threads)
{
    if (auto checked = SileroModelFile::check(modelFile); !checked)
        return unexpected(checked.error());
    whisper_log_set(quiet, nullptr);
    whisper_vad_context_params params = whisper_vad_default_context_params();
    params.n_threads = std::max(1, threads);
    params.use_gpu = false;
    whisper_vad_context* context =
        whisper_vad_init_from_file_with_params(QFile::encodeName(modelFile).constData(), params);
    if (!context)
        return unexpected(QStringLiteral("Le moteur n’a pas pu charger le modèle de détection de la voix"));
    return std::unique_ptr<VoiceActivityDetector>(new SileroVoiceDetector(context));
}

Expected<std::vector<SpeechSegment>, QString> SileroVoiceDetector::segment(std::span<const float> samples)
{
    if (samples.size() > size_t(std::numeric_limits<int>::max()))
        return unexpected(QStringLiteral("Enregistrement trop long pour la détection de la voix"));
    whisper_vad_segments* found = whisper_vad_segments_from_samples(
        m_context, whisper_vad_default_params(), samples.data(), int(samples.size()));
    if (!found)
        return unexpected(QStringLiteral("La détection de la voix a échoué"));
    std::vector<SpeechSegment> segments;
    const int count = whisper_vad_segments_n_segments(found);
    const qint64 total = qint64(samples.size());
    for (int i = 0; i < count; ++i) {
        const qint64 start = std::clamp<qint64>(samplesOf(whisper_vad_segments_get_segment_t0(found, i)), 0, total);
        const qint64 end = std::clamp<qint64>(samplesOf(whisper_vad_segments_get_segment_t1(found, i)), start, total);
        if (end > start)
            segments.push_back({start, end});
    }
    whisper_vad_free_segments(found);
    return segments;
}
