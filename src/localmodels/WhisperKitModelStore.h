#pragma once
// The downloaded Whisper models: fetches a variant's ggml file from the model host (Hugging
// Face unless OVRA_MODELS_BASE_URL names another host that answers the same way) into its own
// folder under the models folder, with progress, resume, integrity and cancellation, and
// remembers where each finished download lives ("whisperkit.downloadedPaths").
#include "transcription/LocalModelServices.h"

#include <QCoroTask>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QUrl>
#include <chrono>
#include <memory>

class DebugLog;
class ModelFileDownload;
class QNetworkAccessManager;
class Settings;

class WhisperKitModelStore : public QObject
{
    Q_OBJECT
public:
    static constexpr const char* defaultsKey = "whisperkit.downloadedPaths";
    static constexpr std::chrono::milliseconds kCancelGrace{20000};

    WhisperKitModelStore(Settings& settings, DebugLog& log, QString modelsFolder, QUrl baseUrl,
                         std::chrono::milliseconds cancelGrace = kCancelGrace, QObject* parent = nullptr);
    ~WhisperKitModelStore() override;

    // OVRA_MODELS_BASE_URL, else the public Hugging Face host.
    static QUrl defaultBaseUrl();

    // A second call while the variant downloads waits for the same download.
    QCoro::Task<Expected<void, LocalModelError>> download(QString variant);
    // Waits for the download to end, at most the grace period (20 s).
    QCoro::Task<> cancel(QString variant);
    void remove(const QString& variant);
    void removeAll();

    // The folder of a finished download that still exists; empty otherwise.
    QString folder(const QString& variant) const;
    // The ggml file inside it; empty when not downloaded.
    QString modelFile(const QString& variant) const;
    bool isDownloaded(const QString& variant) const { return !modelFile(variant).isEmpty(); }
    bool isDownloading(const QString& variant) const { return m_downloadTasks.contains(variant); }

    QHash<QString, double> progress() const { return m_progress; }
    // Bytes received and announced of a running download.
    QPair<qint64, qint64> transferred(const QString& variant) const { return m_transferred.value(variant); }
    QHash<QString, QString> errors() const { return m_errors; }
    QSet<QString> specializing() const { return m_specializing; }
    QHash<QString, QString> paths() const { return m_paths; }
    int pathsRevision() const { return m_pathsRevision; }
    // Where a variant's download goes.
    QString folderFor(const QString& variant) const;

    // Removes every "*.partial" and "*.partial.etag" file under the folder; logs and returns
    // how many went.
    static int removePartialFiles(const QString& folder, DebugLog& log);
    // Holds the id of the process downloading into the folder, while it does.
    static QString downloadPidFile(const QString& folder) { return folder + QStringLiteral("/.download.pid"); }

Q_SIGNALS:
    void changed();
    void downloadSettled(const QString& variant);

private:
    struct Running;
    void setPaths(const QHash<QString, QString>& paths);
    void excludeFromBackup(const QString& folder);

    Settings& m_settings;
    DebugLog& m_log;
    QString m_modelsFolder;
    QUrl m_baseUrl;
    std::chrono::milliseconds m_cancelGrace;
    std::unique_ptr<QNetworkAccessManager> m_network;
    QHash<QString, double> m_progress;
    QHash<QString, QPair<qint64, qint64>> m_transferred;
    QHash<QString, QString> m_errors;
    QSet<QString> m_specializing;
    QHash<QString, QString> m_paths;
    int m_pathsRevision = 0;
    QHash<QString, std::shared_ptr<Running>> m_downloadTasks;
};
