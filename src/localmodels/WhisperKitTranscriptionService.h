#pragma once
// Runs the downloaded Whisper models: loads one (with a warm-up on a second of silence),
// transcribes recordings with it off the main thread, and unloads it when its files go.
// Concurrent loads of one variant share a single load; a load superseded by another load or
// an unload is thrown away.
#include "WhisperEngine.h"
#include "transcription/LocalModelServices.h"

#include <QCoroTask>
#include <QFuture>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class DebugLog;

class WhisperKitTranscriptionService : public QObject
{
    Q_OBJECT
public:
    enum class ModelState { notLoaded, loading, ready, failed };
    // The model file of a downloaded variant; empty when it is not downloaded.
    using ModelFileLookup = std::function<QString(const QString& variant)>;

    WhisperKitTranscriptionService(DebugLog& log, ModelFileLookup modelFile, WhisperEngineLoader loader,
                                   int threads, QObject* parent = nullptr);
    ~WhisperKitTranscriptionService() override;

    QCoro::Task<Expected<void, LocalModelError>> load(QString variant);
    QCoro::Task<Expected<QString, LocalModelError>> transcribe(QString file, QString variant, QString language);
    // After the variant's files were deleted.
    void unload(const QString& variant);
    void unloadAll();

    ModelState modelState() const { return m_state; }
    QString failureMessage() const { return m_failure; }
    QString loadedModel() const { return m_loadedModel; }
    // The variant the state speaks of: being loaded, loaded, or whose load failed.
    QString stateModel() const { return m_stateModel; }
    int loadGeneration() const { return m_loadGeneration; }

    // The language handed to the engine for a mode's language: its first two letters,
    // lower-cased, when the engine knows them; empty (detection) otherwise.
    static QString decodingLanguage(const QString& modeLanguage);

Q_SIGNALS:
    void stateChanged();
    void loadSettled();

private:
    struct Loaded
    {
        std::shared_ptr<WhisperEngine> engine;
        double warmupSeconds = 0;
    };
    struct PendingLoad
    {
        QString variant;
        int generation = 0;
        QFuture<Expected<Loaded, QString>> future;
        bool settled = false;
        std::optional<LocalModelError> error;
    };

    void setState(ModelState state, const QString& failure = {});
    void dropEngine();

    DebugLog& m_log;
    ModelFileLookup m_modelFile;
    WhisperEngineLoader m_loader;
    int m_threads;
    ModelState m_state = ModelState::notLoaded;
    QString m_failure;
    QString m_loadedModel;
    QString m_stateModel;
    std::shared_ptr<WhisperEngine> m_pipe;
    std::shared_ptr<PendingLoad> m_initTask;
    int m_loadGeneration = 0;
};
