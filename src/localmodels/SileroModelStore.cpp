#include "SileroModelStore.h"

#include "ModelFileDownload.h"
#include "SileroModelFile.h"
#include "WhisperKitModelStore.h"
#include "store/DebugLog.h"

#include <QCoroSignal>
#include <QDir>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QPointer>

namespace {
const QString kFlow = QStringLiteral("FLOW");
} // namespace

struct SileroModelStore::Running
{
    std::unique_ptr<ModelFileDownload, void (*)(ModelFileDownload*)> job{nullptr, [](ModelFileDownload* j) {
                                                                             if (j)
                                                                                 j->deleteLater();
                                                                         }};
    bool settled = false;
    std::optional<LocalModelError> error;
};

SileroModelStore::SileroModelStore(DebugLog& log, QString modelsFolder, QUrl baseUrl, QObject* parent)
    : QObject(parent), m_log(log), m_folder(std::move(modelsFolder) + QStringLiteral("/vad")),
      m_baseUrl(std::move(baseUrl)), m_network(std::make_unique<QNetworkAccessManager>())
{
}

SileroModelStore::~SileroModelStore()
{
    if (m_running && m_running->job)
        m_running->job->cancel();
}

QString SileroModelStore::modelFile() const
{
    return m_folder + QLatin1Char('/') + QLatin1String(fileName);
}

bool SileroModelStore::isDownloaded() const
{
    return QFileInfo::exists(modelFile()) && SileroModelFile::check(modelFile());
}

QCoro::Task<Expected<void, LocalModelError>> SileroModelStore::download()
{
    QPointer<SileroModelStore> self(this);
    if (std::shared_ptr<Running> running = m_running) {
        while (!running->settled) {
            co_await qCoro(this, &SileroModelStore::settled);
            if (!self)
                co_return unexpected(LocalModelError{QStringLiteral("Téléchargement annulé."), true});
        }
        if (running->error)
            co_return unexpected(*running->error);
        co_return {};
    }

    m_log.log(QStringLiteral("APP VAD: download ") + QLatin1String(modelID), kFlow);
    m_error.clear();
    m_progress = 0;
    auto running = std::make_shared<Running>();
    QUrl url = m_baseUrl;
    url.setPath(url.path() + QStringLiteral("/%1/resolve/main/%2").arg(QLatin1String(repository), QLatin1String(fileName)));
    running->job.reset(new ModelFileDownload(*m_network, url, modelFile()));
    connect(running->job.get(), &ModelFileDownload::progress, this, [this](qint64 received, qint64 total) {
        m_progress = total > 0 ? double(received) / double(total) : 0.0;
        Q_EMIT changed();
    });
    m_running = running;
    Q_EMIT changed();

    Expected<void, LocalModelError> result = unexpected(LocalModelError{});
    if (!QDir().mkpath(m_folder)) {
        result = unexpected(LocalModelError{QStringLiteral("Impossible de créer le dossier ") + m_folder});
    } else {
        auto fetching = running->job->run();
        result = co_await fetching;
    }
    if (!self)
        co_return result;
    if (result) {
        // The host's hash proves the bytes are its bytes, not that they are a Silero model.
        if (auto checked = SileroModelFile::check(modelFile()); !checked) {
            QFile::remove(modelFile());
            result = unexpected(LocalModelError{checked.error()});
        }
    }
    if (result) {
        m_log.log(QStringLiteral("APP VAD: ") + QLatin1String(modelID) + QStringLiteral(" downloaded → ") + modelFile(),
                  kFlow);
    } else if (result.error().cancelled) {
        m_log.log(QStringLiteral("APP VAD: download CANCELLED ") + QLatin1String(modelID), kFlow);
        WhisperKitModelStore::removePartialFiles(m_folder, m_log);
    } else {
        m_log.log(QStringLiteral("APP VAD: download FAILED ") + QLatin1String(modelID) + QLatin1Char(' ') +
                      result.error().message,
                  kFlow);
        m_error = result.error().message;
    }
    if (!result)
        running->error = result.error();
    running->settled = true;
    if (m_running == running)
        m_running.reset();
    m_progress = 0;
    Q_EMIT settled();
    Q_EMIT changed();
    if (result)
        Q_EMIT fileChanged();
    co_return result;
}

QCoro::Task<> SileroModelStore::cancel()
{
    std::shared_ptr<Running> running = m_running;
    if (!running)
        co_return;
    running->job->cancel();
    QPointer<SileroModelStore> self(this);
    while (!running->settled) {
        co_await qCoro(this, &SileroModelStore::settled);
        if (!self)
            co_return;
    }
}

void SileroModelStore::remove()
{
    if (m_running)
        m_running->job->cancel();
    QDir(m_folder).removeRecursively();
    m_error.clear();
    m_log.log(QStringLiteral("APP VAD: ") + QLatin1String(modelID) + QStringLiteral(" supprimé"), kFlow);
    Q_EMIT changed();
    Q_EMIT fileChanged();
}
