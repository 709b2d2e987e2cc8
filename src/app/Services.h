#pragma once
// The composition root: creates every service once, in start-up order, and destroys them in
// reverse. Both the desktop application and the command line build on it.
#include "ai/APIKeyVerifier.h"
#include "ai/AppleIntelligenceService.h"
#include "ai/CategorizationManager.h"
#include "ai/ClaudeAPIManager.h"
#include "ai/KeychainManager.h"
#include "ai/LearningAnalyzer.h"
#include "ai/LearningAutoTrigger.h"
#include "ai/SecretsVault.h"
#include "ai/UsageTracker.h"
#include "dictation/FailedRecordings.h"
#include "dictation/KeptRecordings.h"
#include "dictation/MacAudioRecorder.h"
#include "dictation/MacLiveTranscriber.h"
#include "localmodels/LocalModelAutoDownloader.h"
#include "localmodels/LocalModels.h"
#include "leaderboard/LeaderboardClock.h"
#include "leaderboard/LeaderboardManager.h"
#include "network/APINetworkClient.h"
#include "platform/AudioCapture.h"
#include "platform/NetworkPathMonitor.h"
#include "platform/SecretStore.h"
#include "platform/SpeechEngine.h"
#include "store/DebugLog.h"
#include "store/Expected.h"
#include "store/Notifications.h"
#include "store/RecordStore.h"
#include "store/Settings.h"
#include "stats/StatsSnapshotRefresher.h"
#include "sync/CloudSettingsSync.h"
#include "sync/ICloudSync.h"
#include "sync/SecretsBackupService.h"
#include "transcription/ManagedTranscriber.h"
#include "transcription/OfflineTranscriptionQueue.h"
#include "transcription/CloudTranscriber.h"
#include "transcription/SilenceTrimmer.h"
#include "transcription/SystemRecognizer.h"
#include "transcription/TranscriptionManager.h"
#include "transcription/UploadCompressor.h"

#include <memory>

class Services
{
public:
    struct Folders
    {
        QString data;
        QString config;
    };
    // What a caller does with the store: a command that only reads opens it read-only, so a
    // read-only or damaged data folder still answers; one that never touches it skips it.
    enum class StoreUse { readWrite, readOnly, none };
    // The fatal start-up error carries the whole message ("ModelContainer Mac: …").
    static Expected<std::unique_ptr<Services>, QString> create(const Folders& folders,
                                                               StoreUse storeUse = StoreUse::readWrite);
    static Folders defaultFolders();
    ~Services();

    const Folders& folders() const { return m_folders; }
    Settings& settings() { return *m_settings; }
    DebugLog& log() { return *m_log; }
    RecordStore& store() { return *m_store; } // not with StoreUse::none
    Notifications& notifications() { return *m_notifications; }
    APINetworkClient& network() { return *m_network; }
    KeychainManager& keychain() { return *m_keychain; }
    SecretsVault& vault() { return *m_vault; }
    UsageTracker& usage() { return *m_usage; }
    ClaudeAPIManager& claude() { return *m_claude; }
    AppleIntelligenceService& onDeviceModel() { return *m_onDeviceModel; }
    // These three need the store.
    CategorizationManager& categorization() { return *m_categorization; }
    LearningAnalyzer& learning() { return *m_learning; }
    LearningAutoTrigger& learningTrigger() { return *m_learningTrigger; }
    AudioCapture& audioCapture() { return *m_audioCapture; }
    SpeechEngine& speechEngine() { return *m_speechEngine; }
    SystemRecognizer& systemRecognizer() { return *m_systemRecognizer; }
    SilenceTrimmer& silenceTrimmer() { return *m_silenceTrimmer; }
    MacAudioRecorder& recorder() { return *m_recorder; }
    FailedRecordings& failedRecordings() { return *m_failedRecordings; }
    KeptRecordings& keptRecordings() { return *m_keptRecordings; }
    MacLiveTranscriber& liveTranscriber() { return *m_liveTranscriber; }
    NetworkPathMonitor& networkMonitor() { return *m_networkMonitor; }
    LocalModels& localModels() { return *m_localModels; }
    LocalModelAutoDownloader& localModelAutoDownloader() { return *m_autoDownloader; } // needs the store
    APIKeyVerifier& keyVerifier() { return *m_keyVerifier; }
    TranscriptionManager& transcription() { return *m_transcription; }
    OfflineTranscriptionQueue& offlineQueue() { return *m_offlineQueue; }
    StatsRefresher& statsRefresher() { return *m_statsRefresher; }
    SecretsBackupService& keyBackup() { return *m_keyBackup; }
    ICloudSync& cloudSync() { return *m_cloudSync; } // not with StoreUse::none
    CloudSettingsSync& settingsSync() { return *m_settingsSync; }
    LeaderboardManager& leaderboard() { return *m_leaderboard; }

    // The desktop application's start-up upkeep of the records: retention, the one-time purge,
    // the offline queue and its network watch, the statistics snapshot.
    void startDataUpkeep();

private:
    explicit Services(Folders folders) : m_folders(std::move(folders)) {}
    Folders m_folders;
    std::unique_ptr<Settings> m_settings;
    std::unique_ptr<DebugLog> m_log;
    std::unique_ptr<Notifications> m_notifications;
    std::unique_ptr<RecordStore> m_store;
    std::unique_ptr<APINetworkClient> m_network;
    std::unique_ptr<SecretStore> m_secretStore;
    std::unique_ptr<KeychainManager> m_keychain;
    std::unique_ptr<SecretsVault> m_vault;
    std::unique_ptr<UsageTracker> m_usage;
    std::unique_ptr<AppleIntelligenceService> m_onDeviceModel;
    std::unique_ptr<ClaudeAPIManager> m_claude;
    std::unique_ptr<AudioCapture> m_audioCapture;
    std::unique_ptr<SpeechEngine> m_speechEngine;
    std::unique_ptr<SystemRecognizer> m_systemRecognizer;
    std::unique_ptr<SilenceTrimmer> m_silenceTrimmer;
    std::unique_ptr<MacAudioRecorder> m_recorder;
    std::unique_ptr<FailedRecordings> m_failedRecordings;
    std::unique_ptr<KeptRecordings> m_keptRecordings;
    std::unique_ptr<MacLiveTranscriber> m_liveTranscriber;
    std::unique_ptr<NetworkPathMonitor> m_networkMonitor;
    std::unique_ptr<LocalModels> m_localModels;
    std::unique_ptr<LocalModelAutoDownloader> m_autoDownloader;
    std::unique_ptr<UploadCompressor> m_uploadCompressor;
    std::unique_ptr<CloudTranscriber> m_cloudTranscriber;
    std::unique_ptr<APIKeyVerifier> m_keyVerifier;
    std::unique_ptr<TranscriptionManager> m_transcription;
    std::unique_ptr<StatsSnapshotRefresher> m_statsRefresher;
    std::unique_ptr<ManagedTranscriber> m_queueTranscriber;
    std::unique_ptr<OfflineTranscriptionQueue> m_offlineQueue;
    std::unique_ptr<SecretsBackupService> m_keyBackup;
    std::unique_ptr<CloudSettingsSync> m_settingsSync;
    std::unique_ptr<ICloudSync> m_cloudSync;
    std::unique_ptr<CategorizationManager> m_categorization;
    std::unique_ptr<LearningAnalyzer> m_learning;
    std::unique_ptr<LearningAutoTrigger> m_learningTrigger;
    std::unique_ptr<SystemLeaderboardClock> m_leaderboardClock;
    std::unique_ptr<LeaderboardManager> m_leaderboard;
};
