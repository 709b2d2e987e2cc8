#include "WhisperKitTranscriptionService.h"

#include "WhisperCppEngine.h"
#include "WhisperModel.h"
#include "WhisperModelFile.h"
#include "audio/AudioFile.h"
#include "store/DebugLog.h"

#include <QCoroFuture>
#include <QCoroSignal>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QPointer>
#include <QtConcurrent>

namespace {

const QString kFlow = QStringLiteral("FLOW");

LocalModelError superseded()
{
    return LocalModelError{QStringLiteral("Chargement du modèle interrompu."), true};
}

} // namespace

WhisperKitTranscriptionService::WhisperKitTranscriptionService(DebugLog& log, ModelFileLookup modelFile,
                                                               WhisperEngineLoader loader, int threads,
                                                               QObject* parent)
    : QObject(parent), m_log(log), m_modelFile(std::move(modelFile)), m_loader(std::move(loader)),
      m_threads(std::max(1, threads))
{
}

// A load still running owns copies of all it needs and is thrown away when it ends.
WhisperKitTranscriptionService::~WhisperKitTranscriptionService() = default;

QString WhisperKitTranscriptionService::decodingLanguage(const QString& modeLanguage)
{
    const QString code = modeLanguage.left(2).toLower();
    return WhisperCppEngine::knowsLanguage(code) ? code : QString();
}

void WhisperKitTranscriptionService::setState(ModelState state, const QString& failure)
{
    m_state = state;
    m_failure = failure;
    Q_EMIT stateChanged();
}

void WhisperKitTranscriptionService::dropEngine()
{
    // A transcription still running keeps its own reference; the model goes when it ends.
    m_pipe.reset();
    m_loadedModel.clear();
}

QCoro::Task<Expected<void, LocalModelError>> WhisperKitTranscriptionService::load(QString requested)
{
    const QString variant = WhisperModel::normalizedVariant(requested);
    if (m_loadedModel == variant && m_state == ModelState::ready && m_pipe)
        co_return {};

    if (m_initTask && m_initTask->variant == variant) {
        std::shared_ptr<PendingLoad> pending = m_initTask;
        QPointer<WhisperKitTranscriptionService> self(this);
        while (!pending->settled) {
            co_await qCoro(this, &WhisperKitTranscriptionService::loadSettled);
            if (!self)
                co_return unexpected(superseded());
        }
        if (pending->error)
            co_return unexpected(*pending->error);
        co_return {};
    }

    const int generation = ++m_loadGeneration;
    dropEngine();
    m_stateModel = variant;
    setState(ModelState::loading);
    m_log.log(QStringLiteral("APP WhisperKit: loading model ") + variant, kFlow);

    auto pending = std::make_shared<PendingLoad>();
    pending->variant = variant;
    pending->generation = generation;
    const QString modelFile = m_modelFile ? m_modelFile(variant) : QString();
    pending->future = QtConcurrent::run([modelFile, variant, loader = m_loader,
                                         threads = m_threads]() -> Expected<Loaded, QString> {
        if (!WhisperModel::find(variant))
            return unexpected(QStringLiteral("Modèle Whisper inconnu : ") + variant);
        if (modelFile.isEmpty() || !QFileInfo::exists(modelFile))
            return unexpected(QStringLiteral("Le modèle ") + variant + QStringLiteral(" n’est pas téléchargé."));
        if (auto checked = WhisperModelFile::check(modelFile); !checked)
            return unexpected(checked.error());
        auto engine = loader(modelFile, threads);
        if (!engine)
            return unexpected(engine.error());
        // One second of silence at 16 kHz: the first real dictation then finds the model warm.
        QElapsedTimer timer;
        timer.start();
        const std::vector<float> silence(16000, 0.0f);
        if (auto warm = engine.value()->transcribe(silence, QString()); !warm)
            return unexpected(warm.error());
        return Loaded{engine.value(), double(timer.elapsed()) / 1000.0};
    });
    m_initTask = pending;

    QPointer<WhisperKitTranscriptionService> self(this);
    QFuture<Expected<Loaded, QString>> future = pending->future;
    auto result = co_await future;
    if (!self)
        co_return unexpected(superseded());

    if (generation != m_loadGeneration) {
        // Superseded by another load or an unload: the result is thrown away.
        pending->error = superseded();
    } else if (!result) {
        m_log.log(QStringLiteral("APP WhisperKit: load FAILED (") + variant + QStringLiteral(") ") + result.error(),
                  kFlow);
        pending->error = LocalModelError{result.error()};
        setState(ModelState::failed, result.error());
    } else {
        m_log.log(QStringLiteral("APP WhisperKit: warmup done (") + QString::number(result->warmupSeconds, 'f', 2) +
                      QStringLiteral("s)"),
                  kFlow);
        m_pipe = result->engine;
        m_loadedModel = variant;
        m_log.log(QStringLiteral("APP WhisperKit: model ") + variant + QStringLiteral(" ready"), kFlow);
        setState(ModelState::ready);
    }
    if (m_initTask == pending)
        m_initTask.reset();
    pending->settled = true;
    Q_EMIT loadSettled();
    if (pending->error)
        co_return unexpected(*pending->error);
    co_return {};
}

QCoro::Task<Expected<QString, LocalModelError>> WhisperKitTranscriptionService::transcribe(QString file,
                                                                                          QString variant,
                                                                                          QString language)
{
    QPointer<WhisperKitTranscriptionService> self(this);
    auto loading = load(variant);
    auto loaded = co_await loading;
    if (!loaded)
        co_return unexpected(loaded.error());
    if (!self || !m_pipe)
        co_return unexpected(superseded());

    std::shared_ptr<WhisperEngine> engine = m_pipe;
    const QString code = decodingLanguage(language);
    auto running = QtConcurrent::run([engine, file, code]() -> Expected<QString, QString> {
        auto samples = AudioFile::decodeMono16k(file);
        if (!samples)
            return unexpected(samples.error().message);
        return engine->transcribe(samples.value(), code);
    });
    auto text = co_await running;
    if (!text)
        co_return unexpected(LocalModelError{text.error()});
    co_return text->trimmed();
}

void WhisperKitTranscriptionService::unload(const QString& variant)
{
    const QString wanted = WhisperModel::normalizedVariant(variant);
    const bool loadingIt = m_initTask && m_initTask->variant == wanted;
    if (m_loadedModel != wanted && !loadingIt)
        return;
    ++m_loadGeneration;
    m_initTask.reset();
    dropEngine();
    m_stateModel.clear();
    m_log.log(QStringLiteral("APP WhisperKit: unloaded ") + wanted + QStringLiteral(" (model deleted)"), kFlow);
    setState(ModelState::notLoaded);
}

void WhisperKitTranscriptionService::unloadAll()
{
    ++m_loadGeneration;
    m_initTask.reset();
    dropEngine();
    m_stateModel.clear();
    m_log.log(QStringLiteral("APP WhisperKit: unloaded all (models deleted)"), kFlow);
    setState(ModelState::notLoaded);
}
