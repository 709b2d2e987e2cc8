#pragma once
// The on-device models as the rest of the program sees them: one object owning the Whisper
// store and service (and the NVIDIA services), answering the transcription manager, the
// command line and the models section.
#include "NemotronEnTranscriptionService.h"
#include "NemotronTranscriptionService.h"
#include "ParakeetTranscriptionService.h"
#include "SileroModelStore.h"
#include "UnifiedTranscriptionService.h"
#include "WhisperKitModelStore.h"
#include "WhisperKitTranscriptionService.h"
#include "transcription/LocalModelServices.h"

#include <QHash>
#include <QUrl>
#include <memory>

class DebugLog;
class Settings;

class LocalModels : public LocalModelServices
{
public:
    // modelsFolder: $XDG_DATA_HOME/ovra/models.
    LocalModels(Settings& settings, DebugLog& log, const QString& modelsFolder, const QUrl& baseUrl);
    ~LocalModels() override;

    bool isDownloaded(const QString& modelID) const override;
    QCoro::Task<Expected<QString, LocalModelError>> transcribe(LocalEngine engine, QString file, QString modelID,
                                                              QString language, std::optional<int> chunkMs) override;
    void checkIntegrity(LocalEngine engine, QString modelID, std::optional<int> chunkMs) override;

    // Downloads a model of the catalogue; a second caller waits for the same download.
    QCoro::Task<Expected<void, LocalModelError>> download(QString modelID);
    QCoro::Task<> cancel(QString modelID);
    // Loads a downloaded model without transcribing; a failure is logged by its service.
    QCoro::Task<> prewarm(QString modelID);
    // Removes its files and unloads it.
    void remove(const QString& modelID);
    // Bytes on disk of a model's folder (partial files included).
    qint64 sizeOnDisk(const QString& modelID) const;
    bool isWhisper(const QString& modelID) const;
    // The error of the model's last download, shown beside it; kept across restarts until a
    // new attempt starts, the model is downloaded or deleted.
    QString lastError(const QString& modelID) const;
    static constexpr const char* errorsKey = "ovra.mac.models.lastErrors";
    // The Silero voice-activity model of the silence trimmer, once downloaded.
    QString voiceDetectorFile() const { return m_silero->modelFile(); }
    static bool isVoiceDetector(const QString& modelID) { return modelID == QLatin1String(SileroModelStore::modelID); }

    WhisperKitModelStore& whisperStore() { return *m_whisperStore; }
    WhisperKitTranscriptionService& whisper() { return *m_whisper; }
    ParakeetTranscriptionService& parakeet() { return *m_parakeet; }
    SileroModelStore& silero() { return *m_silero; }
    // Parakeet Unified and the Nemotron models; nothing for another identifier.
    NvidiaStreamingService* streaming(const QString& modelID) const;
    static bool isParakeet(const QString& modelID) { return modelID == QLatin1String(ParakeetTranscriptionService::modelID); }

private:
    // Follows the stores and services: records new errors, forgets settled ones.
    void recordErrors();
    void storeErrors();
    QString liveError(const QString& modelID) const;

    Settings& m_settings;
    DebugLog& m_log;
    QHash<QString, QString> m_lastErrors;
    std::unique_ptr<WhisperKitModelStore> m_whisperStore;
    std::unique_ptr<WhisperKitTranscriptionService> m_whisper;
    std::unique_ptr<ParakeetTranscriptionService> m_parakeet;
    std::unique_ptr<SileroModelStore> m_silero;
    std::unique_ptr<NvidiaAsrEngine> m_nvidiaEngine;
    std::unique_ptr<UnifiedTranscriptionService> m_unified;
    std::unique_ptr<NemotronEnTranscriptionService> m_nemotronEn;
    std::unique_ptr<NemotronTranscriptionService> m_nemotronLatin;
    std::unique_ptr<NemotronTranscriptionService> m_nemotronMultilingual;
};
