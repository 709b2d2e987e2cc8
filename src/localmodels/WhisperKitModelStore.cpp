#include "WhisperKitModelStore.h"

#include "ModelFileDownload.h"
#include "WhisperModel.h"
#include "WhisperModelFile.h"
#include "store/DebugLog.h"
#include "store/Settings.h"

#include <QCoreApplication>
#include <QCoroSignal>
#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QPointer>

namespace {

const QString kFlow = QStringLiteral("FLOW");
constexpr const char* kRepository = "ggerganov/whisper.cpp";

} // namespace

struct WhisperKitModelStore::Running
{
    QString variant;
    std::unique_ptr<ModelFileDownload, void (*)(ModelFileDownload*)> job{nullptr, [](ModelFileDownload* j) {
                                                                             if (j)
                                                                                 j->deleteLater();
                                                                         }};
    bool settled = false;
    std::optional<LocalModelError> error;
};

WhisperKitModelStore::WhisperKitModelStore(Settings& settings, DebugLog& log, QString modelsFolder, QUrl baseUrl,
                                           std::chrono::milliseconds cancelGrace, QObject* parent)
    : QObject(parent), m_settings(settings), m_log(log), m_modelsFolder(std::move(modelsFolder)),
      m_baseUrl(std::move(baseUrl)), m_cancelGrace(cancelGrace),
      m_network(std::make_unique<QNetworkAccessManager>())
{
    const QVariantMap stored = m_settings.map(QString::fromLatin1(defaultsKey));
    for (auto it = stored.begin(); it != stored.end(); ++it)
        if (it.value().typeId() == QMetaType::QString)
            m_paths.insert(it.key(), it.value().toString());
}

WhisperKitModelStore::~WhisperKitModelStore()
{
    for (const auto& running : std::as_const(m_downloadTasks))
        if (running->job)
            running->job->cancel();
}

QUrl WhisperKitModelStore::defaultBaseUrl()
{
    const QByteArray configured = qgetenv("OVRA_MODELS_BASE_URL");
    return QUrl(configured.isEmpty() ? QStringLiteral("https://huggingface.co") : QString::fromUtf8(configured));
}

QString WhisperKitModelStore::folderFor(const QString& variant) const
{
    return m_modelsFolder + QStringLiteral("/whisper/") + variant;
}

QString WhisperKitModelStore::folder(const QString& variant) const
{
    const QString path = m_paths.value(variant);
    return !path.isEmpty() && QFileInfo(path).isDir() ? path : QString();
}

QString WhisperKitModelStore::modelFile(const QString& variant) const
{
    const WhisperModel* row = WhisperModel::find(variant);
    const QString dir = folder(variant);
    if (!row || row->variant != variant || dir.isEmpty())
        return {};
    const QString file = dir + QLatin1Char('/') + row->fileName;
    return QFileInfo::exists(file) ? file : QString();
}

void WhisperKitModelStore::setPaths(const QHash<QString, QString>& paths)
{
    m_paths = paths;
    QVariantMap stored;
    for (auto it = m_paths.begin(); it != m_paths.end(); ++it)
        stored.insert(it.key(), it.value());
    m_settings.setValue(QString::fromLatin1(defaultsKey), stored);
    ++m_pathsRevision;
}

void WhisperKitModelStore::excludeFromBackup(const QString& folder)
{
    // Nothing on Linux backs up our data folder on its own; the step exists for the journal.
    m_log.log(QStringLiteral("APP Modèles: exclusion du backup sans objet sur Linux (") + QFileInfo(folder).fileName() +
                  QStringLiteral(")"),
              kFlow);
}

int WhisperKitModelStore::removePartialFiles(const QString& folder, DebugLog& log)
{
    int removed = 0;
    QDirIterator it(folder, {QStringLiteral("*.partial"), QStringLiteral("*.partial.etag")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        removed += QFile::remove(it.next()) ? 1 : 0;
    if (removed > 0)
        log.log(QStringLiteral("APP Modèles: ") + QString::number(removed) +
                    QStringLiteral(" fichier(s) partiel(s) supprimé(s) (") + QFileInfo(folder).fileName() +
                    QStringLiteral(")"),
                kFlow);
    return removed;
}

QCoro::Task<Expected<void, LocalModelError>> WhisperKitModelStore::download(QString variant)
{
    if (auto it = m_downloadTasks.constFind(variant); it != m_downloadTasks.cend()) {
        std::shared_ptr<Running> running = *it;
        QPointer<WhisperKitModelStore> self(this);
        while (!running->settled) {
            co_await qCoro(this, &WhisperKitModelStore::downloadSettled);
            if (!self)
                co_return unexpected(LocalModelError{QStringLiteral("Téléchargement annulé."), true});
        }
        if (running->error)
            co_return unexpected(*running->error);
        co_return {};
    }

    const WhisperModel* row = WhisperModel::find(variant);
    if (!row || row->variant != variant)
        co_return unexpected(LocalModelError{QStringLiteral("Modèle Whisper inconnu : ") + variant});

    m_log.log(QStringLiteral("APP WhisperKit: download ") + variant, kFlow);
    m_errors.remove(variant);
    m_progress.insert(variant, 0.0);
    Q_EMIT changed();

    const QString dir = folderFor(variant);
    const QString file = dir + QLatin1Char('/') + row->fileName;
    auto running = std::make_shared<Running>();
    running->variant = variant;
    QUrl url = m_baseUrl;
    url.setPath(url.path() + QStringLiteral("/%1/resolve/main/%2").arg(QLatin1String(kRepository), row->fileName));
    running->job.reset(new ModelFileDownload(*m_network, url, file));
    connect(running->job.get(), &ModelFileDownload::progress, this, [this, variant](qint64 received, qint64 total) {
        m_transferred.insert(variant, {received, total});
        const double fraction = total > 0 ? double(received) / double(total) : 0.0;
        // One refresh per thousandth is plenty for a progress bar.
        if (fraction - m_progress.value(variant) >= 0.001 || fraction >= 1.0) {
            m_progress.insert(variant, fraction);
            Q_EMIT changed();
        }
    });
    connect(running->job.get(), &ModelFileDownload::verifying, this, [this, variant] {
        m_specializing.insert(variant);
        Q_EMIT changed();
    });
    m_downloadTasks.insert(variant, running);

    QPointer<WhisperKitModelStore> self(this);
    Expected<void, LocalModelError> result = unexpected(LocalModelError{});
    const QString pidFile = downloadPidFile(dir);
    if (!QDir().mkpath(dir)) {
        result = unexpected(LocalModelError{QStringLiteral("Impossible de créer le dossier ") + dir});
    } else {
        QFile pid(pidFile);
        if (pid.open(QIODevice::WriteOnly | QIODevice::Truncate))
            pid.write(QByteArray::number(QCoreApplication::applicationPid()));
        pid.close();
        auto fetching = running->job->run();
        result = co_await fetching;
        QFile::remove(pidFile);
    }
    if (!self)
        co_return result;
    m_transferred.remove(variant);
    if (result) {
        // The host's hash proves the bytes are its bytes, not that they are a Whisper model.
        if (auto checked = WhisperModelFile::check(file); !checked) {
            QFile::remove(file);
            result = unexpected(LocalModelError{checked.error()});
        }
    }

    m_specializing.remove(variant);
    m_progress.remove(variant);
    if (result) {
        QHash<QString, QString> paths = m_paths;
        paths.insert(variant, dir);
        setPaths(paths);
        excludeFromBackup(dir);
        m_log.log(QStringLiteral("APP WhisperKit: ") + variant + QStringLiteral(" downloaded → ") + dir, kFlow);
    } else if (result.error().cancelled) {
        m_log.log(QStringLiteral("APP WhisperKit: download CANCELLED ") + variant, kFlow);
    } else {
        m_log.log(QStringLiteral("APP WhisperKit: download FAILED ") + variant + QLatin1Char(' ') +
                      result.error().message,
                  kFlow);
        m_errors.insert(variant, result.error().message);
    }
    if (!result)
        running->error = result.error();
    running->settled = true;
    if (m_downloadTasks.value(variant) == running)
        m_downloadTasks.remove(variant);
    Q_EMIT downloadSettled(variant);
    Q_EMIT changed();
    co_return result;
}

QCoro::Task<> WhisperKitModelStore::cancel(QString variant)
{
    m_log.log(QStringLiteral("APP WhisperKit: annulation ") + variant, kFlow);
    std::shared_ptr<Running> running = m_downloadTasks.value(variant);
    if (running) {
        running->job->cancel();
        QPointer<WhisperKitModelStore> self(this);
        QDeadlineTimer deadline(m_cancelGrace);
        while (!running->settled && !deadline.hasExpired()) {
            co_await qCoro(this, &WhisperKitModelStore::downloadSettled,
                           std::chrono::milliseconds(std::max<qint64>(1, deadline.remainingTime())));
            if (!self)
                co_return;
        }
        if (!running->settled) {
            m_log.log(QStringLiteral("APP WhisperKit: ") + variant +
                          QStringLiteral(" — tâche encore active, partiels conservés"),
                      kFlow);
            co_return;
        }
    }
    removePartialFiles(folderFor(variant), m_log);
    m_log.log(QStringLiteral("APP WhisperKit: ") + variant + QStringLiteral(" annulé, partiels supprimés"), kFlow);
}

void WhisperKitModelStore::remove(const QString& variant)
{
    if (auto running = m_downloadTasks.value(variant))
        running->job->cancel();
    // Only our own folder: a recorded path elsewhere is never deleted.
    QDir(folderFor(variant)).removeRecursively();
    QHash<QString, QString> paths = m_paths;
    paths.remove(variant);
    setPaths(paths);
    m_errors.remove(variant);
    m_log.log(QStringLiteral("APP WhisperKit: ") + variant + QStringLiteral(" supprimé"), kFlow);
    Q_EMIT changed();
}

void WhisperKitModelStore::removeAll()
{
    for (const auto& running : std::as_const(m_downloadTasks))
        running->job->cancel();
    QDir(m_modelsFolder + QStringLiteral("/whisper")).removeRecursively();
    setPaths({});
    m_errors.clear();
    m_log.log(QStringLiteral("APP WhisperKit: tous les modèles supprimés"), kFlow);
    Q_EMIT changed();
}
