#include "ModelFileDownload.h"

#include <QCoroFuture>
#include <QCoroNetworkReply>
#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QtConcurrent>

namespace {

constexpr int kIdleTimeoutMs = 30000;

// Replies end inside their own signals; they go once control is back in the event loop.
void deleteReplyLater(QNetworkReply* reply)
{
    reply->deleteLater();
}
using ReplyPtr = std::unique_ptr<QNetworkReply, void (*)(QNetworkReply*)>;

LocalModelError failure(const QString& message)
{
    return LocalModelError{message};
}

LocalModelError cancelledError()
{
    return LocalModelError{QStringLiteral("Téléchargement annulé."), true};
}

LocalModelError httpError(int status)
{
    if (status == 404)
        return failure(QStringLiteral("Modèle introuvable sur le serveur (HTTP 404)."));
    return failure(QStringLiteral("Le serveur des modèles a répondu HTTP ") + QString::number(status) +
                   QStringLiteral("."));
}

// "…", W/"…" or bare: the SHA-256 of an LFS file, or nothing when the tag is something else.
QByteArray sha256FromEtag(QByteArray tag)
{
    tag = tag.trimmed();
    if (tag.startsWith("W/"))
        tag = tag.mid(2);
    if (tag.size() >= 2 && tag.startsWith('"') && tag.endsWith('"'))
        tag = tag.mid(1, tag.size() - 2);
    static const QRegularExpression hex(QStringLiteral("^[0-9a-fA-F]{64}$"));
    return hex.match(QString::fromLatin1(tag)).hasMatch() ? tag.toLower() : QByteArray();
}

QByteArray readSmallFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.read(256).trimmed() : QByteArray();
}

bool writeSmallFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

} // namespace

ModelFileDownload::ModelFileDownload(QNetworkAccessManager& network, QUrl url, QString destination, QObject* parent)
    : QObject(parent), m_network(network), m_url(std::move(url)), m_destination(std::move(destination))
{
}

void ModelFileDownload::cancel()
{
    m_cancelled->store(true);
    // Queued: the caller may be inside a signal of the transfer it cancels.
    if (m_reply)
        QMetaObject::invokeMethod(m_reply.data(), &QNetworkReply::abort, Qt::QueuedConnection);
}

QCoro::Task<Expected<ModelFileDownload::Metadata, LocalModelError>> ModelFileDownload::fetchMetadata()
{
    QUrl url = m_url;
    // The host answers a file of the repository with a redirect to its storage and the file's
    // size and hash in the redirect's own headers; a renamed repository first redirects to
    // another address of the host.
    for (int hop = 0; hop < 4; ++hop) {
        QNetworkRequest request(url);
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
        request.setTransferTimeout(kIdleTimeoutMs);
        const ReplyPtr reply(m_network.head(request), &deleteReplyLater);
        m_reply = reply.get();
        co_await reply.get();
        if (m_cancelled->load())
            co_return unexpected(cancelledError());
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (status == 0)
            co_return unexpected(failure(QStringLiteral("Serveur des modèles injoignable : ") + reply->errorString()));
        if (status >= 400)
            co_return unexpected(httpError(status));

        Metadata metadata;
        bool sizeOk = false;
        const QByteArray linkedSize = reply->rawHeader("X-Linked-Size");
        metadata.size = linkedSize.toLongLong(&sizeOk);
        if (!sizeOk && status < 300)
            metadata.size = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&sizeOk);
        metadata.sha256 = sha256FromEtag(reply->rawHeader("X-Linked-Etag"));
        if (metadata.sha256.isEmpty() && status < 300)
            metadata.sha256 = sha256FromEtag(reply->rawHeader("ETag"));
        if (sizeOk && metadata.size > 0 && !metadata.sha256.isEmpty())
            co_return metadata;

        const QUrl next = reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl();
        if (status >= 300 && status < 400 && next.isValid()) {
            url = url.resolved(next);
            continue;
        }
        break;
    }
    co_return unexpected(failure(QStringLiteral(
        "Le serveur des modèles n’a pas donné la taille et l’empreinte SHA-256 du fichier : téléchargement refusé.")));
}

QCoro::Task<Expected<void, LocalModelError>> ModelFileDownload::fetchBytes(const Metadata& metadata)
{
    const QString partial = partialPath(m_destination);
    QFile file(partial);
    qint64 offset = QFileInfo(partial).size();
    if (offset >= metadata.size)
        co_return {}; // complete (or too long: the check below removes it)

    QNetworkRequest request(m_url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setTransferTimeout(kIdleTimeoutMs);
    if (offset > 0)
        request.setRawHeader("Range", "bytes=" + QByteArray::number(offset) + "-");
    const ReplyPtr reply(m_network.get(request), &deleteReplyLater);
    m_reply = reply.get();

    std::optional<LocalModelError> problem;
    bool started = false;
    auto stop = [&](LocalModelError e) {
        if (!problem)
            problem = std::move(e);
        // Not from inside the reply's own signal: aborting finishes the reply at once, which
        // would resume this coroutine and end it under our feet.
        QMetaObject::invokeMethod(reply.get(), &QNetworkReply::abort, Qt::QueuedConnection);
    };
    auto consume = [&] {
        if (problem)
            return;
        if (!started) {
            started = true;
            const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
            if (status >= 400)
                return stop(httpError(status));
            if (reply->header(QNetworkRequest::ContentTypeHeader).toString().contains(QLatin1String("text/html")))
                return stop(failure(QStringLiteral("Le serveur a renvoyé une page web au lieu du modèle.")));
            // A host that ignores the range sends the whole file again.
            const QByteArray expected = QByteArray("bytes ") + QByteArray::number(offset) + QByteArray("-");
            const bool resumed = status == 206 && reply->rawHeader("Content-Range").startsWith(expected);
            if (!resumed)
                offset = 0;
            if (!file.open(resumed ? QIODevice::Append : (QIODevice::WriteOnly | QIODevice::Truncate)))
                return stop(failure(QStringLiteral("Écriture du modèle impossible : ") + file.errorString()));
        }
        const QByteArray chunk = reply->readAll();
        if (file.write(chunk) != chunk.size())
            return stop(failure(QStringLiteral("Écriture du modèle impossible (disque plein ?) : ") +
                                file.errorString()));
        if (file.size() > metadata.size)
            return stop(failure(QStringLiteral("Le serveur a envoyé plus d’octets que la taille annoncée.")));
        Q_EMIT progress(file.size(), metadata.size);
    };
    connect(reply.get(), &QNetworkReply::readyRead, this, consume);
    co_await reply.get();
    if (!problem && reply->error() == QNetworkReply::NoError)
        consume();
    if (file.isOpen() && !file.flush() && !problem)
        problem = failure(QStringLiteral("Écriture du modèle impossible (disque plein ?) : ") + file.errorString());
    file.close();
    if (m_cancelled->load())
        co_return unexpected(cancelledError());
    if (problem)
        co_return unexpected(*problem);
    if (reply->error() != QNetworkReply::NoError) {
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (status >= 400)
            co_return unexpected(httpError(status));
        co_return unexpected(failure(QStringLiteral("Téléchargement interrompu : ") + reply->errorString()));
    }
    co_return {};
}

QCoro::Task<Expected<void, LocalModelError>> ModelFileDownload::run()
{
    QPointer<ModelFileDownload> self(this);
    auto asking = fetchMetadata();
    const auto metadata = co_await asking;
    if (!metadata)
        co_return unexpected(metadata.error());
    if (!self)
        co_return unexpected(cancelledError());

    const QString partial = partialPath(m_destination);
    const QString etag = etagPath(m_destination);
    // Bytes of another version of the file are no use.
    if (readSmallFile(etag) != metadata->sha256)
        QFile::remove(partial);
    if (!writeSmallFile(etag, metadata->sha256))
        co_return unexpected(failure(QStringLiteral("Écriture du modèle impossible dans ") +
                                     QFileInfo(m_destination).absolutePath()));

    auto fetching = fetchBytes(*metadata);
    const auto fetched = co_await fetching;
    if (!fetched)
        co_return unexpected(fetched.error());

    const qint64 size = QFileInfo(partial).size();
    if (size < metadata->size)
        co_return unexpected(failure(QStringLiteral("Téléchargement interrompu : fichier incomplet.")));
    if (size > metadata->size) {
        QFile::remove(partial);
        co_return unexpected(failure(QStringLiteral("Le fichier téléchargé n’a pas la taille annoncée.")));
    }

    Q_EMIT verifying();
    // Hashing a large model takes a while; it runs to its end even when cancelled.
    QFuture<QByteArray> hashing = QtConcurrent::run([partial]() -> QByteArray {
        QFile f(partial);
        if (!f.open(QIODevice::ReadOnly))
            return {};
        QCryptographicHash hash(QCryptographicHash::Sha256);
        return hash.addData(&f) ? hash.result().toHex() : QByteArray();
    });
    const QByteArray digest = co_await hashing;
    if (m_cancelled->load())
        co_return unexpected(cancelledError());
    if (digest != metadata->sha256) {
        QFile::remove(partial);
        QFile::remove(etag);
        co_return unexpected(
            failure(QStringLiteral("Le fichier téléchargé est corrompu (empreinte SHA-256 différente) : il a été supprimé.")));
    }
    QFile::remove(m_destination);
    if (!QFile::rename(partial, m_destination))
        co_return unexpected(failure(QStringLiteral("Impossible de mettre le modèle en place : ") + m_destination));
    QFile::remove(etag);
    co_return {};
}
