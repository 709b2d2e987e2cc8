#include "LocalModels.h"

#include "WhisperCppEngine.h"
#include "WhisperModel.h"
#include "WhisperModelFile.h"
#include "store/DebugLog.h"
#include "store/Settings.h"

#include <QDirIterator>
#include <QFileInfo>

namespace {

LocalModelError unavailable()
{
    return LocalModelError{QStringLiteral("moteur indisponible sur ce système")};
}

} // namespace

LocalModels::LocalModels(Settings& settings, DebugLog& log, const QString& modelsFolder, const QUrl& baseUrl)
    : m_settings(settings), m_log(log), m_whisperStore(std::make_unique<WhisperKitModelStore>(settings, log, modelsFolder, baseUrl))
{
    WhisperKitModelStore* store = m_whisperStore.get();
    m_whisper = std::make_unique<WhisperKitTranscriptionService>(
        log, [store](const QString& variant) { return store->modelFile(variant); }, &WhisperCppEngine::load,
        WhisperCppEngine::defaultThreads());
    m_parakeet = std::make_unique<ParakeetTranscriptionService>(log, modelsFolder, baseUrl,
                                                                WhisperCppEngine::defaultThreads());
    m_silero = std::make_unique<SileroModelStore>(log, modelsFolder, baseUrl);
    // No engine here runs Parakeet Unified or Nemotron yet: their services say so in their journal.
    m_nvidiaEngine = std::make_unique<UnavailableNvidiaEngine>();
    m_unified = std::make_unique<UnifiedTranscriptionService>(*m_nvidiaEngine, settings, log, modelsFolder);
    m_nemotronEn = std::make_unique<NemotronEnTranscriptionService>(*m_nvidiaEngine, settings, log, modelsFolder);
    m_nemotronLatin = std::make_unique<NemotronTranscriptionService>(NemotronTranscriptionService::Variant::latin,
                                                                     *m_nvidiaEngine, settings, log, modelsFolder);
    m_nemotronMultilingual = std::make_unique<NemotronTranscriptionService>(
        NemotronTranscriptionService::Variant::multilingual, *m_nvidiaEngine, settings, log, modelsFolder);

    const QVariantMap stored = settings.map(QString::fromLatin1(errorsKey));
    for (auto it = stored.begin(); it != stored.end(); ++it)
        if (it.value().typeId() == QMetaType::QString && !it.value().toString().isEmpty())
            m_lastErrors.insert(it.key(), it.value().toString());
    QObject::connect(m_whisperStore.get(), &WhisperKitModelStore::changed, m_whisperStore.get(), [this] { recordErrors(); });
    QObject::connect(m_parakeet.get(), &ParakeetTranscriptionService::stateChanged, m_parakeet.get(),
                     [this] { recordErrors(); });
    QObject::connect(m_silero.get(), &SileroModelStore::changed, m_silero.get(), [this] { recordErrors(); });
}

QString LocalModels::liveError(const QString& modelID) const
{
    if (isParakeet(modelID))
        return m_parakeet->modelState() == ParakeetTranscriptionService::ModelState::failed ? m_parakeet->failureMessage()
                                                                                           : QString();
    if (isVoiceDetector(modelID))
        return m_silero->error();
    return m_whisperStore->errors().value(modelID);
}

QString LocalModels::lastError(const QString& modelID) const
{
    const QString live = liveError(modelID);
    return live.isEmpty() ? m_lastErrors.value(modelID) : live;
}

void LocalModels::recordErrors()
{
    QHash<QString, QString> errors = m_lastErrors;
    QStringList ids{QString::fromLatin1(ParakeetTranscriptionService::modelID), QString::fromLatin1(SileroModelStore::modelID)};
    for (const WhisperModel& m : WhisperModel::catalogue())
        ids << m.variant;
    for (const QString& id : std::as_const(ids)) {
        const QString live = liveError(id);
        const bool busy = isParakeet(id)          ? m_parakeet->modelState() == ParakeetTranscriptionService::ModelState::downloading
                          : isVoiceDetector(id) ? m_silero->isDownloading()
                                                : m_whisperStore->isDownloading(id);
        if (!live.isEmpty())
            errors.insert(id, live);
        else if (errors.contains(id) && (busy || isDownloaded(id)))
            errors.remove(id);
    }
    if (errors == m_lastErrors)
        return;
    m_lastErrors = errors;
    storeErrors();
}

void LocalModels::storeErrors()
{
    QVariantMap stored;
    for (auto it = m_lastErrors.begin(); it != m_lastErrors.end(); ++it)
        stored.insert(it.key(), it.value());
    m_settings.setValue(QString::fromLatin1(errorsKey), stored);
}

LocalModels::~LocalModels() = default;

NvidiaStreamingService* LocalModels::streaming(const QString& modelID) const
{
    for (NvidiaStreamingService* service : {static_cast<NvidiaStreamingService*>(m_unified.get()),
                                            static_cast<NvidiaStreamingService*>(m_nemotronEn.get()),
                                            static_cast<NvidiaStreamingService*>(m_nemotronLatin.get()),
                                            static_cast<NvidiaStreamingService*>(m_nemotronMultilingual.get())})
        if (service->modelID() == modelID)
            return service;
    return nullptr;
}

bool LocalModels::isWhisper(const QString& modelID) const
{
    const WhisperModel* row = WhisperModel::find(modelID);
    return row && row->variant == modelID;
}

bool LocalModels::isDownloaded(const QString& modelID) const
{
    if (isParakeet(modelID))
        return m_parakeet->isDownloaded();
    if (isVoiceDetector(modelID))
        return m_silero->isDownloaded();
    if (NvidiaStreamingService* service = streaming(modelID))
        return service->isDownloaded();
    return isWhisper(modelID) && m_whisperStore->isDownloaded(modelID);
}

QCoro::Task<Expected<QString, LocalModelError>> LocalModels::transcribe(LocalEngine engine, QString file,
                                                                       QString modelID, QString language,
                                                                       std::optional<int> chunkMs)
{
    if (engine == LocalEngine::whisperKit) {
        auto running = m_whisper->transcribe(file, modelID, language);
        co_return co_await running;
    }
    if (engine == LocalEngine::parakeetTDT) {
        auto running = m_parakeet->transcribe(file, language);
        co_return co_await running;
    }
    if (NvidiaStreamingService* service = streaming(modelID)) {
        auto running = service->transcribe(file, language, chunkMs);
        co_return co_await running;
    }
    co_return unexpected(unavailable());
}

void LocalModels::checkIntegrity(LocalEngine engine, QString modelID, std::optional<int>)
{
    if (engine == LocalEngine::parakeetTDT)
        return m_parakeet->checkIntegrity();
    if (engine != LocalEngine::whisperKit)
        return;
    const QString variant = WhisperModel::normalizedVariant(modelID);
    const QString file = m_whisperStore->modelFile(variant);
    if (file.isEmpty() || WhisperModelFile::check(file))
        return;
    m_log.log(QStringLiteral("APP WhisperKit: modèle incomplet/corrompu détecté → suppression + état « non téléchargé » (") +
                  variant + QStringLiteral(")"),
              QStringLiteral("FLOW"));
    remove(variant);
}

QCoro::Task<Expected<void, LocalModelError>> LocalModels::download(QString modelID)
{
    if (isWhisper(modelID)) {
        auto running = m_whisperStore->download(modelID);
        co_return co_await running;
    }
    if (isParakeet(modelID)) {
        auto running = m_parakeet->ensureLoaded();
        co_return co_await running;
    }
    if (isVoiceDetector(modelID)) {
        auto running = m_silero->download();
        co_return co_await running;
    }
    if (NvidiaStreamingService* service = streaming(modelID)) {
        auto running = service->ensureLoaded();
        co_return co_await running;
    }
    co_return unexpected(unavailable());
}

QCoro::Task<> LocalModels::cancel(QString modelID)
{
    if (isWhisper(modelID)) {
        auto running = m_whisperStore->cancel(modelID);
        co_await running;
    } else if (isParakeet(modelID)) {
        auto running = m_parakeet->cancelDownload();
        co_await running;
    } else if (isVoiceDetector(modelID)) {
        auto running = m_silero->cancel();
        co_await running;
    } else if (NvidiaStreamingService* service = streaming(modelID)) {
        auto running = service->cancelDownload();
        co_await running;
    }
}

QCoro::Task<> LocalModels::prewarm(QString modelID)
{
    if (isWhisper(modelID)) {
        auto loading = m_whisper->load(modelID);
        co_await loading;
    } else if (isParakeet(modelID)) {
        auto loading = m_parakeet->prewarm();
        co_await loading;
    } else if (NvidiaStreamingService* service = streaming(modelID)) {
        auto loading = service->prewarm();
        co_await loading;
    }
}

void LocalModels::remove(const QString& modelID)
{
    if (m_lastErrors.remove(modelID) > 0)
        storeErrors();
    if (isParakeet(modelID))
        return m_parakeet->deleteModel();
    if (isVoiceDetector(modelID))
        return m_silero->remove();
    if (NvidiaStreamingService* service = streaming(modelID))
        return service->deleteModel();
    if (!isWhisper(modelID))
        return;
    m_whisperStore->remove(modelID);
    m_whisper->unload(modelID);
}

qint64 LocalModels::sizeOnDisk(const QString& modelID) const
{
    if (!isWhisper(modelID) && !isParakeet(modelID) && !isVoiceDetector(modelID))
        return 0;
    const QString folder = isParakeet(modelID)        ? m_parakeet->folder()
                           : isVoiceDetector(modelID) ? QFileInfo(m_silero->modelFile()).path()
                                                      : m_whisperStore->folderFor(modelID);
    qint64 bytes = 0;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        bytes += it.fileInfo().size();
    }
    return bytes;
}
