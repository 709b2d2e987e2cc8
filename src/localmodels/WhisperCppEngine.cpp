#include "WhisperCppEngine.h"

#include <QFile>
#include <QThread>
#include <whisper.h>

namespace {

void quiet(ggml_log_level, const char*, void*) {}

} // namespace

WhisperCppEngine::~WhisperCppEngine()
{
    whisper_free(m_context);
}

int WhisperCppEngine::defaultThreads()
{
    return std::max(1, QThread::idealThreadCount() - 1);
}

bool WhisperCppEngine::knowsLanguage(const QString& code)
{
    return code.size() == 2 && whisper_lang_id(code.toLatin1().constData()) >= 0;
}

Expected<std::shared_ptr<WhisperEngine>, QString> WhisperCppEngine::load(const QString& modelFile, int threads)
{
    // The engine's own progress lines would flood the terminal of `ovra`; failures come back
    // as a null context and are described here.
    whisper_log_set(quiet, nullptr);
    whisper_context_params params = whisper_context_default_params();
    params.use_gpu = false;
    whisper_context* context = whisper_init_from_file_with_params(QFile::encodeName(modelFile).constData(), params);
    if (!context)
        return unexpected(QStringLiteral("Le moteur Whisper n’a pas pu charger le modèle"));
    return std::shared_ptr<WhisperEngine>(new WhisperCppEngine(context, std::max(1, threads)));
}

Expected<QString, QString> WhisperCppEngine::transcribe(std::span<const float> samples, const QString& language)
{
    std::lock_guard lock(m_busy);
    whisper_full_params params = whisper_full_default_params(WHISPER_SAMPLING_GREEDY);
    params.n_threads = m_threads;
    params.print_progress = false;
    params.print_realtime = false;
    params.print_special = false;
    params.print_timestamps = false;
    params.no_timestamps = true;
    const QByteArray code = language.toLatin1();
    params.language = language.isEmpty() ? "auto" : code.constData();
    if (whisper_full(m_context, params, samples.data(), int(samples.size())) != 0)
        return unexpected(QStringLiteral("Le moteur Whisper a échoué pendant la transcription"));
    QString text;
    const int segments = whisper_full_n_segments(m_context);
    for (int i = 0; i < segments; ++i)
        text += QString::fromUtf8(whisper_full_get_segment_text(m_context, i));
    return text;
}
