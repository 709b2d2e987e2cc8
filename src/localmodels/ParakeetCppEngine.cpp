#include "ParakeetCppEngine.h"

#include <QFile>
#include <parakeet.h>

ParakeetCppEngine::~ParakeetCppEngine()
{
    parakeet_free(m_context);
}

namespace {
void quiet(ggml_log_level, const char*, void*) {}
} // namespace

Expected<std::shared_ptr<ParakeetCppEngine>, QString> ParakeetCppEngine::load(const QString& modelFile, int threads)
{
    parakeet_log_set(quiet, nullptr);
    parakeet_context_params params = parakeet_context_default_params();
    params.use_gpu = false;
    parakeet_context* context = parakeet_init_from_file_with_params(QFile::encodeName(modelFile).constData(), params);
    if (!context)
        return unexpected(QStringLiteral("Le moteur Parakeet n’a pas pu charger le modèle"));
    return std::shared_ptr<ParakeetCppEngine>(new ParakeetCppEngine(context, std::max(1, threads)));
}

Expected<QString, QString> ParakeetCppEngine::transcribe(std::span<const float> samples)
{
    std::lock_guard lock(m_busy);
    parakeet_full_params params = parakeet_full_default_params(PARAKEET_SAMPLING_GREEDY);
    params.n_threads = m_threads;
    if (parakeet_full(m_context, params, samples.data(), int(samples.size())) != 0)
        return unexpected(QStringLiteral("Le moteur Parakeet a échoué pendant la transcription"));
    QString text;
    const int segments = parakeet_full_n_segments(m_context);
    for (int i = 0; i < segments; ++i)
        text += QString::fromUtf8(parakeet_full_get_segment_text(m_context, i));
    return text.trimmed();
}
