#pragma once
// The settings keys shared with companion components, in their iteration order.
#include <QList>
#include <QString>
#include <optional>

enum class SharedDefaultsKey {
    autoStopTimeout, alwaysUseBuiltInMic, openEditorAfterDictation, keyboardRecordButtonOnLeft,
    keyboardRecordButtonVersion, activeModeID, activeModeName, defaultNotesModeID, iCloudSyncEnabled,
    lastSyncDate, availableModes, learningEnabled, learningThreshold, learningPrivacyScrub,
    learningProviderRaw, learningModel, globalAIProviderRaw, globalAIModel, aiPostProcessProviderRaw,
    aiPostProcessModel, aiNotesProviderRaw, aiNotesModel, aiLearningProviderRaw, aiLearningModel,
    aiCategorizationProviderRaw, aiCategorizationModel, aiPromptBuilderProviderRaw, aiPromptBuilderModel,
    aiModeIconProviderRaw, aiModeIconModel, dictationShortcut, aiRespondInFrench, dictationRetentionDays,
    noteRetentionDays, leaderboardPseudo, leaderboardOptOut, aiSelectionTransformProviderRaw,
    aiSelectionTransformModel, autoEnhanceDifficult, lastModeHome, lastModeNotes, lastModeKeyboard,
    dictationSessionActive, dictationSessionExpiry, dictationSessionDuration, captureState, captureHeartbeat,
    captureError, captureAudioLevel, captureLivePartial, captureLivePartialAt, nemotronChunkMs,
    fallbackTranscriptionModel, hasSeenTutorial, helperComputers, helperSendingEnabled,
    helperTargetComputerID, dictationAudioRetentionCount, lastSeenWhatsNewVersion, dictatedWordsBest,
};

namespace SharedDefaults {
QString key(SharedDefaultsKey k);
// Mirrored to the cloud key-value store.
bool isSynced(SharedDefaultsKey k);
const QList<SharedDefaultsKey>& allCases();
std::optional<SharedDefaultsKey> fromKey(const QString& key);
} // namespace SharedDefaults
