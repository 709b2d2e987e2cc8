#include "ParakeetTranscriptionService.h"

#include "ModelFileDownload.h"
#include "ParakeetCppEngine.h"
#include "ParakeetModelFile.h"
#include "WhisperKitModelStore.h"
#include "audio/AudioFile.h"
#include "store/DebugLog.h"

#include <QCoroFuture>
#include <QCoroSignal>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QPointer>
#include <QtConcurrent>

namespace {

const QString kFlow = QStringLiteral("FLOW");

LocalModelError cancelledError()
{
    return LocalModelError{QStringLiteral("Téléchargement annulé."), true};
}

} // namespace

struct ParakeetTranscriptionService::InitTask
{
    int generation = 0;
    std::unique_ptr<ModelFileDownload, void (*)(ModelFileDownload*)> download{nullptr, [](ModelFileDownload* d) {
                                                                                  if (d)
                                                                                      d->deleteLater();
                                                                              }};
    bool settled = false;
    std::optional<LocalModelError> error;
};

ParakeetTranscriptionService::ParakeetTranscriptionService(DebugLog& log, QString modelsFolder, QUrl baseUrl,
                                                           int threads, std::chrono::milliseconds cancelGrace,
                                                           QObject* parent)
    : QObject(parent), m_log(log), m_modelsFolder(std::move(modelsFolder)), m_baseUrl(std::move(baseUrl)),
      m_threads(std::max(1, threads)), m_cancelGrace(cancelGrace),
      m_network(std::make_unique<QNetworkAccessManager>())
{
}

ParakeetTranscriptionService::~ParakeetTranscriptionService()
{
    if (m_initTask && m_initTask->download)
        m_initTask->download->cancel();
}

QString ParakeetTranscriptionService::folder() const
{
    return m_modelsFolder + QStringLiteral("/parakeet/") + QLatin1String(modelID);
}

QString ParakeetTranscriptionService::modelFile() const
{
    return folder() + QLatin1Char('/') + QLatin1String(fileName);
}

bool ParakeetTranscriptionService::isDownloaded() const
{
    return QFileInfo::exists(modelFile()) && ParakeetModelFile::check(modelFile());
}

void ParakeetTranscriptionService::setState(ModelState state, const QString& failure)
{
    m_state = state;
    m_failure = failure;
    Q_EMIT stateChanged();
}

void ParakeetTranscriptionService::removeCorrupted()
{
    QDir(folder()).removeRecursively();
    m_asrManager.reset();
    m_log.log(QStringLiteral("APP Parakeet: modèle incomplet/corrompu détecté → suppression + état « non téléchargé »"),
              kFlow);
    setState(ModelState::notLoaded);
}

void ParakeetTranscriptionService::checkIntegrity()
{
    if (QFileInfo::exists(modelFile()) && !ParakeetModelFile::check(modelFile()))
        removeCorrupted();
}

QCoro::Task<Expected<void, LocalModelError>> ParakeetTranscriptionService::ensureLoaded()
{
    if (m_state == ModelState::ready && m_asrManager)
        co_return {};
    QPointer<ParakeetTranscriptionService> self(this);
    if (m_initTask) {
        std::shared_ptr<InitTask> pending = m_initTask;
        while (!pending->settled) {
            co_await qCoro(this, &ParakeetTranscriptionService::loadSettled);
            if (!self)
                co_return unexpected(cancelledError());
        }
        if (pending->error)
            co_return unexpected(*pending->error);
        co_return {};
    }

    auto task = std::make_shared<InitTask>();
    task->generation = ++m_loadGeneration;
    m_initTask = task;
    m_downloadProgress = 0;
    if (m_state != ModelState::downloading)
        setState(ModelState::downloading);
    m_log.log(QStringLiteral("APP Parakeet: downloading/loading v3 models…"), kFlow);

    Expected<void, LocalModelError> result;
    if (!QFileInfo::exists(modelFile())) {
        if (!QDir().mkpath(folder())) {
            result = unexpected(LocalModelError{QStringLiteral("Impossible de créer le dossier ") + folder()});
        } else {
            QUrl url = m_baseUrl;
            url.setPath(url.path() +
                        QStringLiteral("/%1/resolve/main/%2").arg(QLatin1String(repository), QLatin1String(fileName)));
            task->download.reset(new ModelFileDownload(*m_network, url, modelFile()));
            connect(task->download.get(), &ModelFileDownload::progress, this, [this, task](qint64 got, qint64 total) {
                if (m_initTask == task && total > 0) {
                    m_downloadProgress = double(got) / double(total);
                    Q_EMIT stateChanged();
                }
            });
            auto fetching = task->download->run();
            result = co_await fetching;
            if (!self)
                co_return unexpected(cancelledError());
        }
    }

    bool corrupted = false;
    if (result && task->generation == m_loadGeneration) {
        setState(ModelState::optimizing);
        const QString file = modelFile();
        const int threads = m_threads;
        QFuture<Expected<std::shared_ptr<ParakeetCppEngine>, QString>> loading =
            QtConcurrent::run([file, threads]() -> Expected<std::shared_ptr<ParakeetCppEngine>, QString> {
                if (auto checked = ParakeetModelFile::check(file); !checked)
                    return unexpected(QStringLiteral("corrupted:") + checked.error());
                return ParakeetCppEngine::load(file, threads);
            });
        auto engine = co_await loading;
        if (!self)
            co_return unexpected(cancelledError());
        if (engine) {
            if (task->generation == m_loadGeneration)
                m_asrManager = engine.value();
        } else if (engine.error().startsWith(QLatin1String("corrupted:"))) {
            corrupted = true;
            result = unexpected(LocalModelError{engine.error().mid(10)});
        } else {
            result = unexpected(LocalModelError{engine.error()});
        }
    }

    if (task->generation != m_loadGeneration) {
        // Cancelled, deleted or superseded: whatever came out is thrown away.
        result = unexpected(cancelledError());
    } else if (corrupted) {
        removeCorrupted();
    } else if (result) {
        m_log.log(QStringLiteral("APP Parakeet: models ready"), kFlow);
        setState(ModelState::ready);
    } else if (!result.error().cancelled) {
        m_log.log(QStringLiteral("APP Parakeet: load FAILED: ") + result.error().message, kFlow);
        setState(ModelState::failed, result.error().message);
    }
    if (!result)
        task->error = result.error();
    if (m_initTask == task)
        m_initTask.reset();
    task->settled = true;
    Q_EMIT loadSettled();
    co_return result;
}

QCoro::Task<Expected<QString, LocalModelError>> ParakeetTranscriptionService::transcribe(QString file, QString)
{
    QPointer<ParakeetTranscriptionService> self(this);
    auto loading = ensureLoaded();
    const auto loaded = co_await loading;
    if (!loaded)
        co_return unexpected(loaded.error());
    if (!self || !m_asrManager)
        co_return unexpected(cancelledError());
    // The v3 model finds the language itself; the mode's language has nothing to add.
    std::shared_ptr<ParakeetCppEngine> engine = m_asrManager;
    QFuture<Expected<QString, QString>> running = QtConcurrent::run([engine, file]() -> Expected<QString, QString> {
        auto samples = AudioFile::decodeMono16k(file);
        if (!samples)
            return unexpected(samples.error().message);
        return engine->transcribe(samples.value());
    });
    auto text = co_await running;
    if (!text)
        co_return unexpected(LocalModelError{text.error()});
    co_return text.value();
}

QCoro::Task<> ParakeetTranscriptionService::prewarm()
{
    auto loading = ensureLoaded();
    co_await loading;
}

QCoro::Task<> ParakeetTranscriptionService::cancelDownload()
{
    ++m_loadGeneration;
    std::shared_ptr<InitTask> task = m_initTask;
    if (task && task->download)
        task->download->cancel();
    setState(ModelState::notLoaded);
    m_log.log(QStringLiteral("APP Parakeet: téléchargement annulé"), kFlow);
    QPointer<ParakeetTranscriptionService> self(this);
    if (task) {
        const QDeadlineTimer deadline(m_cancelGrace);
        while (!task->settled && !deadline.hasExpired()) {
            co_await qCoro(this, &ParakeetTranscriptionService::loadSettled,
                           std::chrono::milliseconds(std::max<qint64>(1, deadline.remainingTime())));
            if (!self)
                co_return;
        }
        if (!task->settled) {
            m_log.log(QStringLiteral("APP Parakeet: partiels conservés (tâche active)"), kFlow);
            co_return;
        }
    }
    WhisperKitModelStore::removePartialFiles(folder(), m_log);
}

void ParakeetTranscriptionService::deleteModel()
{
    ++m_loadGeneration;
    if (m_initTask && m_initTask->download)
        m_initTask->download->cancel();
    m_initTask.reset();
    m_asrManager.reset();
    QDir(folder()).removeRecursively();
    setState(ModelState::notLoaded);
    m_log.log(QStringLiteral("APP Parakeet: modèle v3 supprimé (rangée)"), kFlow);
}
