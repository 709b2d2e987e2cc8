#pragma once
// NVIDIA Parakeet TDT 0.6B v3 on whisper.cpp's Parakeet library: downloads its ggml file on
// first use (progress for the interface), loads it, transcribes off the main thread, and
// survives cancellation and deletion. Concurrent callers share one download and load; a load
// whose generation is no longer current is thrown away.
#include "transcription/LocalModelServices.h"

#include <QCoroTask>
#include <QObject>
#include <QString>
#include <QUrl>
#include <chrono>
#include <memory>

class DebugLog;
class ModelFileDownload;
class ParakeetCppEngine;
class QNetworkAccessManager;

class ParakeetTranscriptionService : public QObject
{
    Q_OBJECT
public:
    enum class ModelState { notLoaded, downloading, optimizing, ready, failed };
    static constexpr const char* modelID = "parakeet-tdt-0.6b-v3";
    static constexpr const char* fileName = "ggml-parakeet-tdt-0.6b-v3-q8_0.bin";
    static constexpr const char* repository = "ggml-org/parakeet-GGUF";

    ParakeetTranscriptionService(DebugLog& log, QString modelsFolder, QUrl baseUrl, int threads,
                                 std::chrono::milliseconds cancelGrace = std::chrono::milliseconds(20000),
                                 QObject* parent = nullptr);
    ~ParakeetTranscriptionService() override;

    QString folder() const;
    QString modelFile() const;
    // Present and complete (the file's structure checked to its end).
    bool isDownloaded() const;

    QCoro::Task<Expected<void, LocalModelError>> ensureLoaded();
    QCoro::Task<Expected<QString, LocalModelError>> transcribe(QString file, QString language);
    QCoro::Task<> prewarm();
    QCoro::Task<> cancelDownload();
    void deleteModel();
    // A file found incomplete or corrupted is deleted; the model is "non téléchargé" again.
    void checkIntegrity();

    ModelState modelState() const { return m_state; }
    QString failureMessage() const { return m_failure; }
    double downloadProgress() const { return m_downloadProgress; }
    int loadGeneration() const { return m_loadGeneration; }

Q_SIGNALS:
    void stateChanged();
    void loadSettled();

private:
    struct InitTask;
    void setState(ModelState state, const QString& failure = {});
    void removeCorrupted();

    DebugLog& m_log;
    QString m_modelsFolder;
    QUrl m_baseUrl;
    int m_threads;
    std::chrono::milliseconds m_cancelGrace;
    std::unique_ptr<QNetworkAccessManager> m_network;
    ModelState m_state = ModelState::notLoaded;
    QString m_failure;
    double m_downloadProgress = 0;
    std::shared_ptr<ParakeetCppEngine> m_asrManager;
    std::shared_ptr<InitTask> m_initTask;
    int m_loadGeneration = 0;
};
