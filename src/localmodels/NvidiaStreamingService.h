#pragma once
// The state kept around one streaming NVIDIA model (Parakeet Unified, Nemotron English, or a
// Nemotron multilingual variant): download and load through the engine with progress, one
// shared load for concurrent callers, a generation that throws superseded loads away, the
// chunk size of the Nemotron models, cancellation with a grace period, deletion, and the
// journal lines of each model.
#include "NvidiaAsrEngine.h"
#include "transcription/LocalModelServices.h"

#include <QCoroTask>
#include <QObject>
#include <QString>
#include <chrono>
#include <memory>
#include <optional>

class DebugLog;
class Settings;

class NvidiaStreamingService : public QObject
{
    Q_OBJECT
public:
    enum class ModelState { notLoaded, downloading, optimizing, ready, failed };
    enum class Kind { unified, nemotronEnglish, nemotron };
    static constexpr int kDefaultChunkMs = 1120;

    ~NvidiaStreamingService() override;

    // The override when it is 560, 1120 or 2240, else the stored choice when it is one of them,
    // else 1120. Empty for Parakeet Unified, which has no chunks.
    std::optional<int> effectiveChunk(std::optional<int> override) const;
    static bool isValidChunk(qint64 ms) { return ms == 560 || ms == 1120 || ms == 2240; }
    // "auto" → "fr-FR"; en, de, it, pt → their regional codes; anything else as it is.
    static QString nemotronLanguage(const QString& language);

    QString modelID() const { return m_modelID; }
    QString folder(std::optional<int> chunk) const;
    bool isDownloaded(std::optional<int> chunkOverride = std::nullopt) const;

    QCoro::Task<Expected<void, LocalModelError>> ensureLoaded(std::optional<int> chunkOverride = std::nullopt);
    QCoro::Task<Expected<QString, LocalModelError>> transcribe(QString file, QString language,
                                                               std::optional<int> chunkOverride = std::nullopt);
    QCoro::Task<> prewarm(std::optional<int> chunkOverride = std::nullopt);
    QCoro::Task<> cancelDownload();
    // Every chunk variant's files go.
    void deleteModel();

    ModelState modelState() const { return m_state; }
    QString failureMessage() const { return m_failure; }
    double downloadProgress() const { return m_downloadProgress; }
    int loadGeneration() const { return m_loadGeneration; }
    std::optional<int> loadedChunkMs() const { return m_loadedChunkMs; }

Q_SIGNALS:
    void stateChanged();
    void loadSettled();

protected:
    NvidiaStreamingService(Kind kind, QString modelID, QString variantName, NvidiaAsrEngine& engine,
                           const Settings& settings, DebugLog& log, QString modelsFolder,
                           std::chrono::milliseconds cancelGrace, QObject* parent);

private:
    enum class Event { loadStarts, loaded, failed, cancelled, partialKept, deleted };
    struct InitTask;
    QString logLine(Event event, std::optional<int> chunk, const QString& error = {}) const;
    void setState(ModelState state, const QString& failure = {});

    Kind m_kind;
    QString m_modelID;
    QString m_variantName;
    NvidiaAsrEngine& m_engine;
    const Settings& m_settings;
    DebugLog& m_log;
    QString m_modelsFolder;
    std::chrono::milliseconds m_cancelGrace;
    ModelState m_state = ModelState::notLoaded;
    QString m_failure;
    double m_downloadProgress = 0;
    std::shared_ptr<NvidiaAsrModel> m_manager;
    std::optional<int> m_loadedChunkMs;
    std::shared_ptr<InitTask> m_initTask;
    int m_loadGeneration = 0;
};
