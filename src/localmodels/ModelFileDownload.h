#pragma once
// Fetches one model file from the model host into "<file>.partial", resuming what an earlier
// attempt left, and renames it only once its size and SHA-256 match what the host states for
// the file (Hugging Face sends both with every LFS file: X-Linked-Size, X-Linked-Etag). The
// ".partial.etag" beside it records which version of the file the partial bytes belong to.
#include "transcription/LocalModelServices.h"

#include <QCoroTask>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <atomic>
#include <memory>

class QNetworkAccessManager;
class QNetworkReply;

class ModelFileDownload : public QObject
{
    Q_OBJECT
public:
    ModelFileDownload(QNetworkAccessManager& network, QUrl url, QString destination, QObject* parent = nullptr);

    // Cancelled: the error says so (`cancelled`); the partial file stays for the caller to handle.
    QCoro::Task<Expected<void, LocalModelError>> run();
    void cancel();

    static QString partialPath(const QString& destination) { return destination + QStringLiteral(".partial"); }
    static QString etagPath(const QString& destination) { return destination + QStringLiteral(".partial.etag"); }

Q_SIGNALS:
    void progress(qint64 received, qint64 total);
    // The bytes are all there; the check of the whole file starts.
    void verifying();

private:
    struct Metadata
    {
        qint64 size = -1;
        QByteArray sha256; // lower-case hex
    };
    QCoro::Task<Expected<Metadata, LocalModelError>> fetchMetadata();
    QCoro::Task<Expected<void, LocalModelError>> fetchBytes(const Metadata& metadata);

    QNetworkAccessManager& m_network;
    QUrl m_url;
    QString m_destination;
    QPointer<QNetworkReply> m_reply;
    std::shared_ptr<std::atomic_bool> m_cancelled = std::make_shared<std::atomic_bool>(false);
};
