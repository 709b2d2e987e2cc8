#include "Services.h"

#include "dictation/MacAudioRecorder.h"
#include "localmodels/VoiceDetectorLoader.h"
#include "localmodels/WhisperCppEngine.h"
#include "platform/linux/network/QtNetworkPathMonitor.h"
#include "platform/linux/pocketsphinx/PocketSphinxEngine.h"
#include "platform/linux/pulse/PulseAudioCapture.h"
#include "platform/linux/secret/LibsecretStore.h"
#include "platform/linux/secret/MemorySecretStore.h"
#include "store/AppPaths.h"
#include "store/DeviceIdentity.h"
#include "sync/TranscriptionRetention.h"
#include "sync/TransformStatDedup.h"
#include "transcription/AppleSpeechManager.h"
#include "transcription/SilenceTrimmer.h"
#include "transcription/UploadCompressor.h"

#include <QDir>
#include <QFileInfo>
#include <cstdio>

Services::Folders Services::defaultFolders() { return {AppPaths::dataFolder(), AppPaths::configFolder()}; }

Services::~Services()
{
    // The journal goes before the settings, whose last save may still find a broken file.
    if (m_settings)
        m_settings->setProblemReporter({});
}

Expected<std::unique_ptr<Services>, QString> Services::create(const Folders& folders, StoreUse storeUse)
{
    std::unique_ptr<Services> s(new Services(folders));
    s->m_settings = std::make_unique<Settings>(folders.config);
    s->m_log = std::make_unique<DebugLog>(folders.data);
    DebugLog* log = s->m_log.get();
    s->m_settings->setProblemReporter([log](const QString& message) {
        log->log(message, QStringLiteral("SETTINGS"));
        std::fprintf(stderr, "%s\n", qPrintable(message));
    });
    s->m_notifications = std::make_unique<Notifications>();
    Settings* settings = s->m_settings.get();
    if (storeUse != StoreUse::none) {
        const QString path = QDir(folders.data).filePath(QStringLiteral("ovra.sqlite"));
        // A first run has no store to read: it is created as for any other command.
        const auto access = storeUse == StoreUse::readOnly && QFileInfo::exists(path) ? RecordStore::Access::readOnly
                                                                                      : RecordStore::Access::readWrite;
        auto store = RecordStore::open(
            path, [settings] { return DeviceIdentity::current(*settings); }, access);
        if (!store)
            return unexpected(QStringLiteral("ModelContainer Mac: ") + store.error().message);
        s->m_store = std::move(store.value());
    }
    s->m_network = std::make_unique<APINetworkClient>();
    if (qEnvironmentVariable("OVRA_SECRET_STORE") == QLatin1String("memory"))
        s->m_secretStore = std::make_unique<MemorySecretStore>();
    else
        s->m_secretStore = std::make_unique<LibsecretStore>();
    s->m_keychain = std::make_unique<KeychainManager>(*s->m_secretStore);
    s->m_vault = std::make_unique<SecretsVault>(*s->m_keychain, *s->m_settings, *s->m_notifications);
    s->m_usage = std::make_unique<UsageTracker>();
    s->m_usage->setModelContext(s->m_store.get());
    s->m_onDeviceModel = std::make_unique<AppleIntelligenceService>(
        *s->m_network, AppleIntelligenceService::configFrom(*s->m_settings));
    s->m_claude = std::make_unique<ClaudeAPIManager>(*s->m_network, *s->m_vault, *s->m_usage, *s->m_onDeviceModel);
    s->m_audioCapture = std::make_unique<PulseAudioCapture>();
    s->m_speechEngine = std::make_unique<PocketSphinxEngine>();
    s->m_systemRecognizer = std::make_unique<AppleSpeechManager>(*s->m_speechEngine);
    s->m_localModels = std::make_unique<LocalModels>(*s->m_settings, *s->m_log,
                                                     QDir(folders.data).filePath(QStringLiteral("models")),
                                                     WhisperKitModelStore::defaultBaseUrl());
    s->m_silenceTrimmer = std::make_unique<SilenceTrimmer>(
        *s->m_log, VoiceDetectorLoader(s->m_localModels->voiceDetectorFile(), *s->m_log, WhisperCppEngine::defaultThreads()));
    QObject::connect(&s->m_localModels->silero(), &SileroModelStore::fileChanged, s->m_silenceTrimmer.get(),
                     &SilenceTrimmer::reloadDetector);
    s->m_recorder = std::make_unique<MacAudioRecorder>(*s->m_audioCapture, *s->m_settings);
    s->m_failedRecordings = std::make_unique<FailedRecordings>(
        QDir(folders.data).filePath(QLatin1String(FailedRecordings::kFolderName)));
    s->m_keptRecordings = std::make_unique<KeptRecordings>(
        QDir(folders.data).filePath(QLatin1String(KeptRecordings::kFolderName)), *s->m_settings);
    s->m_liveTranscriber = std::make_unique<MacLiveTranscriber>(*s->m_audioCapture, *s->m_speechEngine, *s->m_settings);
    s->m_networkMonitor = std::make_unique<QtNetworkPathMonitor>();
    s->m_uploadCompressor = std::make_unique<UploadCompressor>(*s->m_log);
    SecretsVault* vault = s->m_vault.get();
    const ServiceHosts hosts = ServiceHosts::fromEnvironment();
    s->m_cloudTranscriber = std::make_unique<CloudTranscriber>(
        *s->m_network, CloudTranscriber::AsyncKeyReader([vault](KeychainKey k) { return vault->readAPIKey(k); }),
        hosts);
    s->m_keyVerifier = std::make_unique<APIKeyVerifier>(*s->m_network, hosts);
    s->m_transcription = std::make_unique<TranscriptionManager>(TranscriptionManager::Dependencies{
        *s->m_cloudTranscriber, *s->m_uploadCompressor, *s->m_silenceTrimmer, *s->m_systemRecognizer,
        *s->m_localModels, *s->m_networkMonitor, *s->m_usage, *s->m_settings, *s->m_log});
    s->m_keyBackup = std::make_unique<SecretsBackupService>(*s->m_keychain, *s->m_notifications, *s->m_log);
    s->m_keyBackup->setModelContext(s->m_store.get());
    s->m_settingsSync = std::make_unique<CloudSettingsSync>(*s->m_settings, *s->m_notifications, *s->m_log);
    s->m_leaderboardClock = std::make_unique<SystemLeaderboardClock>();
    s->m_leaderboard = std::make_unique<LeaderboardManager>(LeaderboardManager::Dependencies{
        *s->m_settings, *s->m_log, *s->m_network, *s->m_secretStore, *s->m_leaderboardClock});
    if (!s->m_store)
        return s; // a command that never touches the store needs neither of these
    s->m_statsRefresher = std::make_unique<StatsSnapshotRefresher>(*s->m_store, *s->m_settings);
    s->m_autoDownloader =
        std::make_unique<LocalModelAutoDownloader>(*s->m_store, *s->m_settings, *s->m_localModels, *s->m_log);
    s->m_queueTranscriber = std::make_unique<ManagedTranscriber>(*s->m_transcription);
    s->m_offlineQueue = std::make_unique<OfflineTranscriptionQueue>(
        QDir(folders.data).filePath(QLatin1String(OfflineTranscriptionQueue::kFolderName)),
        OfflineTranscriptionQueue::Dependencies{
            *s->m_networkMonitor, *s->m_store, *s->m_settings, *s->m_log, nullptr, s->m_statsRefresher.get(), {},
            [failed = s->m_failedRecordings.get(), store = s->m_store.get()](const QString& audio, const PendingMeta& item,
                                                                            const QString& error) {
                FailedRecording r;
                r.id = item.id;
                r.modeName = item.modeName;
                // The queue names the mode; a retry uses it while a mode of that name exists.
                for (const TranscriptionMode& m : store->fetch<TranscriptionMode>())
                    if (m.name == item.modeName)
                        r.modeID = m.id;
                r.date = QDateTime::fromMSecsSinceEpoch(qint64(item.createdAt * 1000.0), Qt::UTC);
                r.error = error;
                r.duration = item.duration;
                return failed->keep(audio, r).hasValue();
            }});
    s->m_cloudSync = std::make_unique<ICloudSync>(ICloudSync::Dependencies{
        *s->m_settings, *s->m_log, *s->m_notifications,
        QDir(folders.data).filePath(QLatin1String(RollbackSnapshots::kFolderName)), s->m_statsRefresher.get()});
    s->m_cloudSync->setModelContext(s->m_store.get());
    s->m_cloudSync->setKeyBackup(s->m_keyBackup.get());
    s->m_categorization = std::make_unique<CategorizationManager>(*s->m_onDeviceModel, *s->m_settings, *s->m_log);
    s->m_categorization->setClaude(s->m_claude.get());
    s->m_categorization->setModelContext(s->m_store.get());
    s->m_learning = std::make_unique<LearningAnalyzer>(*s->m_claude, *s->m_onDeviceModel, *s->m_settings);
    s->m_learningTrigger = std::make_unique<LearningAutoTrigger>(*s->m_learning, *s->m_settings);
    s->m_learningTrigger->setModelContext(s->m_store.get());
    return s;
}

void Services::startDataUpkeep()
{
    TransformStatDedup::runOnce(*m_store, *m_settings, *m_log);
    TranscriptionRetention({*m_store, *m_settings, *m_log, m_statsRefresher.get(),
                            m_keptRecordings->folder()})
        .runAll();
    m_offlineQueue->start(*m_queueTranscriber, *m_claude);
    m_statsRefresher->refresh();
    QObject::connect(m_notifications.get(), &Notifications::iCloudSyncDidApplyRemoteData, m_offlineQueue.get(),
                     [this] { m_statsRefresher->refresh(); });
}
