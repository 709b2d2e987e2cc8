#pragma once
// The Silero voice-activity model of the silence trimmer: one small ggml file fetched from the
// model host like the speech models (progress, resume, integrity, cancellation) into its own
// folder under the models folder.
#include "transcription/LocalModelServices.h"

#include <QCoroTask>
#include <QObject>
#include <QString>
#include <QUrl>
#include <memory>

class DebugLog;
class ModelFileDownload;
class QNetworkAccessManager;

class SileroModelStore : public QObject
{
    Q_OBJECT
public:
    static constexpr const char* modelID = "silero-vad";
    static constexpr const char* repository = "ggml-org/whisper-vad";
    static constexpr const char* fileName = "ggml-silero-v5.1.2.bin";

    SileroModelStore(DebugLog& log, QString modelsFolder, QUrl baseUrl, QObject* parent = nullptr);
    ~SileroModelStore() override;

    QString modelFile() const;
    // Present and whole (checked to its last tensor).
    bool isDownloaded() const;
    bool isDownloading() const { return bool(m_running); }
    double progress() const { return m_progress; }
    QString error() const { return m_error; }

    // A second caller waits for the same download.
    QCoro::Task<Expected<void, LocalModelError>> download();
    QCoro::Task<> cancel();
    void remove();

Q_SIGNALS:
    void changed();
    void settled();
    // The model file appeared or went: the detector in use should be chosen again.
    void fileChanged();

private:
    struct Running;
    DebugLog& m_log;
    QString m_folder;
    QUrl m_baseUrl;
    std::unique_ptr<QNetworkAccessManager> m_network;
    std::shared_ptr<Running> m_running;
    double m_progress = 0;
    QString m_error;
};
