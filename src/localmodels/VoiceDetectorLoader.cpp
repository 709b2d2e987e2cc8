#include "VoiceDetectorLoader.h"

#include "SileroVoiceDetector.h"
#include "store/DebugLog.h"
#include "transcription/EnergyVoiceDetector.h"

#include <QFileInfo>

Expected<std::unique_ptr<VoiceActivityDetector>, QString> VoiceDetectorLoader::operator()() const
{
    const QString flow = QStringLiteral("FLOW");
    if (QFileInfo::exists(m_file)) {
        auto silero = SileroVoiceDetector::load(m_file, m_threads);
        if (silero) {
            m_log->log(QStringLiteral("VAD: modèle chargé depuis le bundle (aucun téléchargement)"), flow);
            return std::move(silero.value());
        }
        m_log->log(QStringLiteral("VAD: échec du chargement bundle (") + silero.error() +
                       QStringLiteral(") — repli sur téléchargement"),
                   flow);
    }
    // The detector that needs no model file.
    return std::unique_ptr<VoiceActivityDetector>(std::make_unique<EnergyVoiceDetector>());
}
