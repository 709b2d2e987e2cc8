#include "LocalModelAutoDownloader.h"

#include "LocalModels.h"
#include "WhisperModel.h"
#include "store/DebugLog.h"
#include "store/Enums.h"
#include "store/RecordStore.h"
#include "store/RecordFields.h"
#include "store/Records.h"
#include "store/Settings.h"

#include <QPointer>

namespace {

const QString kFlow = QStringLiteral("FLOW");

bool isNemotron(const QString& model)
{
    return model == QLatin1String("nemotron-latin-0.6b") || model == QLatin1String("nemotron-multilingual-0.6b") ||
           model == QLatin1String("nemotron-en-0.6b");
}

int chunkOf(const TranscriptionMode& mode, const Settings& settings)
{
    auto valid = [](qint64 ms) { return ms == 560 || ms == 1120 || ms == 2240; };
    if (mode.nemotronChunkMs && valid(*mode.nemotronChunkMs))
        return *mode.nemotronChunkMs;
    const qint64 stored = settings.intValue(SharedDefaultsKey::nemotronChunkMs, 1120);
    return valid(stored) ? int(stored) : 1120;
}

} // namespace

std::optional<QString> LocalModelAutoDownloader::localModelOf(const TranscriptionMode& mode)
{
    if (mode.transcriptionProviderRaw == QLatin1String("whisperKit"))
        return WhisperModel::normalizedVariant(mode.transcriptionModel);
    if (mode.transcriptionProviderRaw == QLatin1String("parakeet"))
        return mode.transcriptionModel;
    return std::nullopt;
}

LocalModelAutoDownloader::LocalModelAutoDownloader(RecordStore& store, Settings& settings, LocalModels& models,
                                                   DebugLog& log, QObject* parent)
    : QObject(parent), m_store(store), m_settings(settings), m_models(models), m_log(log)
{
}

void LocalModelAutoDownloader::followModeEdits()
{
    connect(&m_store, &RecordStore::changed, this, [this](const QString& table) {
        if (table == QLatin1String(RecordSchema<TranscriptionMode>::table))
            QCoro::connect(run(), this, [] {});
    });
}

QCoro::Task<> LocalModelAutoDownloader::run()
{
    if (m_isRunning) {
        m_rerunRequested = true;
        co_return;
    }
    QPointer<LocalModelAutoDownloader> self(this);
    m_isRunning = true;
    do {
        m_rerunRequested = false;
        auto running = pass();
        co_await running;
        if (!self)
            co_return;
        ++m_passes;
    } while (m_rerunRequested);
    m_isRunning = false;
    Q_EMIT passFinished();
}

QCoro::Task<> LocalModelAutoDownloader::pass()
{
    QPointer<LocalModelAutoDownloader> self(this);
    const QList<TranscriptionMode> modes = m_store.fetch<TranscriptionMode>();
    for (const TranscriptionMode& mode : modes) {
        const std::optional<QString> model = localModelOf(mode);
        if (!model)
            continue;
        // Each chunk size of a Nemotron model is a download of its own.
        const QString key = isNemotron(*model) ? *model + QLatin1Char('@') + QString::number(chunkOf(mode, m_settings))
                                               : *model;
        if (m_attempted.contains(key) || m_models.isDownloaded(*model))
            continue;
        m_attempted.insert(key);
        auto downloading = m_models.download(*model);
        const auto result = co_await downloading;
        if (!self)
            co_return;
        if (!result && !result.error().cancelled)
            m_log.log(QStringLiteral("APP Modèles: téléchargement automatique de ") + key +
                          QStringLiteral(" en échec : ") + result.error().message,
                      kFlow);
    }
}

QCoro::Task<> LocalModelAutoDownloader::prewarm(QUuid activeModeID)
{
    if (m_prewarmed)
        co_return;
    m_prewarmed = true;
    const std::optional<TranscriptionMode> mode = m_store.find<TranscriptionMode>(activeModeID);
    if (!mode)
        co_return;
    const std::optional<QString> model = localModelOf(*mode);
    // A model not downloaded yet is the auto-download pass's business.
    if (!model || !m_models.isDownloaded(*model))
        co_return;
    if (mode->transcriptionProviderRaw == QLatin1String("whisperKit"))
        m_log.log(QStringLiteral("APP Prewarm: WhisperKit ") + *model + QStringLiteral("…"), kFlow);
    else if (*model == QLatin1String("nemotron-en-0.6b"))
        m_log.log(QStringLiteral("APP Prewarm: NemotronEN (") + QString::number(chunkOf(*mode, m_settings)) +
                      QStringLiteral(" ms)…"),
                  kFlow);
    else if (isNemotron(*model))
        m_log.log(QStringLiteral("APP Prewarm: Nemotron(") + *model + QStringLiteral(", ") +
                      QString::number(chunkOf(*mode, m_settings)) + QStringLiteral(" ms)…"),
                  kFlow);
    else if (*model == QLatin1String("parakeet-unified-0.6b"))
        m_log.log(QStringLiteral("APP Prewarm: ParakeetUnified…"), kFlow);
    else
        m_log.log(QStringLiteral("APP Prewarm: Parakeet…"), kFlow);
    // A failure is logged by the service and changes nothing here.
    auto loading = m_models.prewarm(*model);
    co_await loading;
}
