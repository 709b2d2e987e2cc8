#include "SharedDefaultsKey.h"

#include <QHash>
#include <array>

namespace {
struct KeyInfo
{
    const char* key;
    bool synced;
};

constexpr std::array<KeyInfo, 60> kKeys{{
    {"mirelo.recording.timeout", true},
    {"mirelo.recording.builtInMic", true},
    {"mirelo.recording.openEditorAfterDictation", true},
    {"mirelo.kb.recordButtonOnLeft", true},
    {"mirelo.kb.recordButtonVersion", true},
    {"mirelo.mode.activeID", true},
    {"mirelo.mode.activeName", true},
    {"mirelo.notes.defaultModeID", true},
    {"mirelo.icloud.enabled", false},
    {"mirelo.icloud.lastSync", false},
    {"mirelo.mode.availableList", false},
    {"mirelo.learning.enabled", true},
    {"mirelo.learning.threshold", true},
    {"mirelo.learning.privacyScrub", true},
    {"mirelo.learning.providerRaw", false},
    {"mirelo.learning.model", false},
    {"mirelo.ai.providerRaw", true},
    {"mirelo.ai.model", true},
    {"mirelo.ai.postprocess.providerRaw", true},
    {"mirelo.ai.postprocess.model", true},
    {"mirelo.ai.notes.providerRaw", true},
    {"mirelo.ai.notes.model", true},
    {"mirelo.ai.learning.providerRaw", true},
    {"mirelo.ai.learning.model", true},
    {"mirelo.ai.categorization.providerRaw", true},
    {"mirelo.ai.categorization.model", true},
    {"mirelo.ai.promptBuilder.providerRaw", true},
    {"mirelo.ai.promptBuilder.model", true},
    {"mirelo.ai.modeIcon.providerRaw", true},
    {"mirelo.ai.modeIcon.model", true},
    {"mirelo.dictationShortcut", true},
    {"mirelo.ai.respondInFrench", true},
    {"mirelo.retention.days", true},
    {"mirelo.retention.notes.days", true},
    {"mirelo.leaderboard.pseudo", true},
    {"mirelo.leaderboard.optOut", true},
    {"mirelo.ai.selectionTransform.providerRaw", true},
    {"mirelo.ai.selectionTransform.model", true},
    {"mirelo.ai.autoEnhanceDifficult", true},
    {"mirelo.lastMode.home", true},
    {"mirelo.lastMode.notes", true},
    {"mirelo.lastMode.keyboard", true},
    {"mirelo.session.active", false},
    {"mirelo.session.expiry", false},
    {"mirelo.session.duration", false},
    {"mirelo.capture.state", false},
    {"mirelo.capture.heartbeat", false},
    {"mirelo.capture.errorMessage", false},
    {"mirelo.capture.audioLevel", false},
    {"mirelo.capture.livePartial", false},
    {"mirelo.capture.livePartialAt", false},
    {"mirelo.nemotron.chunkMs", false},
    {"mirelo.transcription.fallbackModel", false},
    {"mirelo.tutorial.hasSeenWelcome", false},
    {"mirelo.helper.computers", true},
    {"mirelo.helper.sendingEnabled", false},
    {"mirelo.helper.targetComputerID", false},
    {"mirelo.retention.audioCount", false},
    {"mirelo.whatsNew.lastSeenVersion", false},
    {"mirelo.stats.dictatedWordsBest", true},
}};
} // namespace

namespace SharedDefaults {
QString key(SharedDefaultsKey k) { return QLatin1String(kKeys[size_t(k)].key); }
bool isSynced(SharedDefaultsKey k) { return kKeys[size_t(k)].synced; }

const QList<SharedDefaultsKey>& allCases()
{
    static const QList<SharedDefaultsKey> all = [] {
        QList<SharedDefaultsKey> l;
        for (size_t i = 0; i < kKeys.size(); ++i)
            l << SharedDefaultsKey(i);
        return l;
    }();
    return all;
}

std::optional<SharedDefaultsKey> fromKey(const QString& key)
{
    static const QHash<QString, SharedDefaultsKey> byKey = [] {
        QHash<QString, SharedDefaultsKey> h;
        for (SharedDefaultsKey k : allCases())
            h.insert(SharedDefaults::key(k), k);
        return h;
    }();
    const auto it = byKey.constFind(key);
    return it == byKey.constEnd() ? std::nullopt : std::optional(*it);
}
} // namespace SharedDefaults
