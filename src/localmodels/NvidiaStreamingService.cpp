#include "NvidiaStreamingService.h"

#include "WhisperKitModelStore.h"
#include "audio/AudioFile.h"
#include "store/DebugLog.h"
#include "store/Settings.h"

#include <QCoroFuture>
#include <QCoroSignal>
#include <QDeadlineTimer>
#include <QDir>
#include <QPointer>
#include <QtConcurrent>

namespace {
const QString kFlow = QStringLiteral("FLOW");
} // namespace

struct NvidiaStreamingService::InitTask
{
    std::optional<int> chunk;
    bool settled = false;
    std::optional<LocalModelError> error;
    std::shared_ptr<std::atomic_bool> cancelled = std::make_shared<std::atomic_bool>(false);
};

NvidiaStreamingService::NvidiaStreamingService(Kind kind, QString modelID, QString variantName, NvidiaAsrEngine& engine,
                                               const Settings& settings, DebugLog& log, QString modelsFolder,
                                               std::chrono::milliseconds cancelGrace, QObject* parent)
    : QObject(parent), m_kind(kind), m_modelID(std::move(modelID)), m_variantName(std::move(variantName)),
      m_engine(engine), m_settings(settings), m_log(log), m_modelsFolder(std::move(modelsFolder)),
      m_cancelGrace(cancelGrace)
{
}

NvidiaStreamingService::~NvidiaStreamingService()
{
    if (m_initTask)
        m_initTask->cancelled->store(true);
}

std::optional<int> NvidiaStreamingService::effectiveChunk(std::optional<int> override) const
{
    if (m_kind == Kind::unified)
        return std::nullopt;
    if (override && isValidChunk(*override))
        return *override;
    const qint64 stored = m_settings.intValue(SharedDefaultsKey::nemotronChunkMs, kDefaultChunkMs);
    return isValidChunk(stored) ? int(stored) : kDefaultChunkMs;
}

QString NvidiaStreamingService::nemotronLanguage(const QString& language)
{
    if (language.isEmpty() || language == QLatin1String("auto"))
        return QStringLiteral("fr-FR");
    const QString two = language.left(2).toLower();
    if (two == QLatin1String("en"))
        return QStringLiteral("en-US");
    if (two == QLatin1String("de"))
        return QStringLiteral("de-DE");
    if (two == QLatin1String("it"))
        return QStringLiteral("it-IT");
    if (two == QLatin1String("pt"))
        return QStringLiteral("pt-BR");
    return language;
}

QString NvidiaStreamingService::folder(std::optional<int> chunk) const
{
    const QString base = m_modelsFolder + QStringLiteral("/nvidia/") + m_modelID;
    return chunk ? base + QLatin1Char('/') + QString::number(*chunk) : base;
}

bool NvidiaStreamingService::isDownloaded(std::optional<int> chunkOverride) const
{
    return m_engine.isComplete(m_modelID, folder(effectiveChunk(chunkOverride)));
}

QString NvidiaStreamingService::logLine(Event event, std::optional<int> chunk, const QString& error) const
{
    const QString c = chunk ? QString::number(*chunk) : QString();
    const QString name = m_kind == Kind::unified         ? QStringLiteral("APP ParakeetUnified")
                         : m_kind == Kind::nemotronEnglish ? QStringLiteral("APP NemotronEN")
                                                           : QStringLiteral("APP Nemotron(") + m_variantName + QLatin1Char(')');
    switch (event) {
    case Event::loadStarts:
        return name + (chunk ? QStringLiteral(": download/load (") + c + QStringLiteral(" ms)…")
                             : QStringLiteral(": download/load…"));
    case Event::loaded: return name + QStringLiteral(": ready");
    case Event::failed: return name + QStringLiteral(": FAILED: ") + error;
    case Event::cancelled: return name + QStringLiteral(": téléchargement annulé");
    case Event::partialKept: return name + QStringLiteral(": partiels conservés (tâche active)");
    case Event::deleted:
        return name + (m_kind == Kind::unified ? QStringLiteral(": modèle supprimé (rangée)")
                                               : QStringLiteral(": modèle supprimé (rangée, toutes fenêtres)"));
    }
    return {};
}

void NvidiaStreamingService::setState(ModelState state, const QString& failure)
{
    m_state = state;
    m_failure = failure;
    Q_EMIT stateChanged();
}

QCoro::Task<Expected<void, LocalModelError>> NvidiaStreamingService::ensureLoaded(std::optional<int> chunkOverride)
{
    const std::optional<int> chunk = effectiveChunk(chunkOverride);
    if (m_state == ModelState::ready && m_manager && m_loadedChunkMs == chunk)
        co_return {};

    QPointer<NvidiaStreamingService> self(this);
    if (m_initTask && m_initTask->chunk == chunk) {
        std::shared_ptr<InitTask> pending = m_initTask;
        while (!pending->settled) {
            co_await qCoro(this, &NvidiaStreamingService::loadSettled);
            if (!self)
                co_return unexpected(LocalModelError{QStringLiteral("Téléchargement annulé."), true});
        }
        if (pending->error)
            co_return unexpected(*pending->error);
        co_return {};
    }

    // Another chunk size is another model: the loaded one goes.
    m_manager.reset();
    m_loadedChunkMs.reset();
    if (m_initTask)
        m_initTask->cancelled->store(true);
    const int generation = ++m_loadGeneration;
    m_downloadProgress = 0;
    if (m_state != ModelState::downloading)
        setState(ModelState::downloading);
    else
        Q_EMIT stateChanged();
    m_log.log(logLine(Event::loadStarts, chunk), kFlow);

    auto pending = std::make_shared<InitTask>();
    pending->chunk = chunk;
    m_initTask = pending;
    auto loading = m_engine.load(m_modelID, chunk, folder(chunk), [self, generation](double fraction) {
        if (!self || generation != self->m_loadGeneration)
            return;
        self->m_downloadProgress = fraction;
        if (fraction >= 1.0 && self->m_state == ModelState::downloading)
            self->setState(ModelState::optimizing);
        else
            Q_EMIT self->stateChanged();
    }, pending->cancelled);
    auto result = co_await loading;
    if (!self)
        co_return unexpected(LocalModelError{QStringLiteral("Téléchargement annulé."), true});

    if (generation != m_loadGeneration) {
        // Superseded by a cancel, a deletion or another chunk: the result is thrown away.
        pending->error = LocalModelError{QStringLiteral("Téléchargement annulé."), true};
    } else if (!result) {
        m_log.log(logLine(Event::failed, chunk, result.error()), kFlow);
        pending->error = LocalModelError{result.error()};
        setState(ModelState::failed, result.error());
    } else {
        m_manager = result.value();
        m_loadedChunkMs = chunk;
        setState(ModelState::ready);
        m_log.log(logLine(Event::loaded, chunk), kFlow);
    }
    if (m_initTask == pending)
        m_initTask.reset();
    pending->settled = true;
    Q_EMIT loadSettled();
    if (pending->error)
        co_return unexpected(*pending->error);
    co_return {};
}

QCoro::Task<Expected<QString, LocalModelError>> NvidiaStreamingService::transcribe(QString file, QString language,
                                                                                  std::optional<int> chunkOverride)
{
    QPointer<NvidiaStreamingService> self(this);
    auto loading = ensureLoaded(chunkOverride);
    const auto loaded = co_await loading;
    if (!loaded)
        co_return unexpected(loaded.error());
    if (!self || !m_manager)
        co_return unexpected(LocalModelError{QStringLiteral("Téléchargement annulé."), true});
    std::shared_ptr<NvidiaAsrModel> manager = m_manager;
    const QString code = m_kind == Kind::unified ? language : nemotronLanguage(language);
    QFuture<Expected<QString, QString>> running =
        QtConcurrent::run([manager, file, code]() -> Expected<QString, QString> {
            auto samples = AudioFile::decodeMono16k(file);
            if (!samples)
                return unexpected(samples.error().message);
            return manager->transcribe(samples.value(), code);
        });
    auto text = co_await running;
    if (!text)
        co_return unexpected(LocalModelError{text.error()});
    co_return text->trimmed();
}

QCoro::Task<> NvidiaStreamingService::prewarm(std::optional<int> chunkOverride)
{
    auto loading = ensureLoaded(chunkOverride);
    co_await loading; // a failure is in the journal already
}

QCoro::Task<> NvidiaStreamingService::cancelDownload()
{
    ++m_loadGeneration;
    std::shared_ptr<InitTask> pending = m_initTask;
    if (pending)
        pending->cancelled->store(true);
    setState(ModelState::notLoaded);
    const std::optional<int> chunk = pending ? pending->chunk : effectiveChunk(std::nullopt);
    m_log.log(logLine(Event::cancelled, chunk), kFlow);
    QPointer<NvidiaStreamingService> self(this);
    QDeadlineTimer deadline(m_cancelGrace);
    while (pending && !pending->settled && !deadline.hasExpired()) {
        co_await qCoro(this, &NvidiaStreamingService::loadSettled,
                       std::chrono::milliseconds(std::max<qint64>(1, deadline.remainingTime())));
        if (!self)
            co_return;
    }
    if (pending && !pending->settled) {
        m_log.log(logLine(Event::partialKept, chunk), kFlow);
        co_return;
    }
    WhisperKitModelStore::removePartialFiles(folder(chunk), m_log);
}

void NvidiaStreamingService::deleteModel()
{
    ++m_loadGeneration;
    if (m_initTask) {
        m_initTask->cancelled->store(true);
        m_initTask.reset();
    }
    m_manager.reset();
    m_loadedChunkMs.reset();
    QDir(folder(std::nullopt)).removeRecursively();
    setState(ModelState::notLoaded);
    m_log.log(logLine(Event::deleted, std::nullopt), kFlow);
}
