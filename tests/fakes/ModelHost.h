#pragma once
// A stand-in for the model host on 127.0.0.1: answers a repository file like Hugging Face does
// (HEAD and GET → 302 to the storage address, with X-Linked-Size and X-Linked-Etag holding the
// file's size and SHA-256), and serves the bytes from the storage address with ranges. Each
// file can misbehave: cut the connection, answer with an error or an HTML page, announce a wrong
// size or hash, or trickle its bytes.
#include <QByteArray>
#include <QCryptographicHash>
#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

class ModelHost : public QObject
{
public:
    using Header = QPair<QByteArray, QByteArray>;
    struct File
    {
        QByteArray bytes;
        QByteArray announcedSha256; // empty: the real one
        qint64 announcedSize = -1;  // -1: the real one
        bool omitHashes = false;
        int status = 200;           // of the storage answer
        bool html = false;          // storage answers with a web page
        qint64 cutAfter = -1;       // close after this many body bytes, the first time only
        int chunkDelayMs = 0;       // send 16 KiB per tick
        bool ignoreRange = false;
    };

    ModelHost() { connect(&m_server, &QTcpServer::newConnection, this, &ModelHost::accept); }
    bool start() { return m_server.listen(QHostAddress::LocalHost, 0); }
    QUrl baseUrl() const { return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort())); }

    // repositoryPath: "owner/name/resolve/main/file".
    void serve(const QString& repositoryPath, const File& file) { m_files.insert(repositoryPath.toUtf8(), file); }
    int storageGets() const { return m_storageGets; }
    QList<QByteArray> ranges() const { return m_ranges; }

private:
    void accept()
    {
        while (QTcpSocket* socket = m_server.nextPendingConnection()) {
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
        }
    }

    void read(QTcpSocket* socket)
    {
        QByteArray& buffer = m_buffers[socket];
        buffer += socket->readAll();
        const qsizetype end = buffer.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        const QList<QByteArray> lines = buffer.left(end).split('\n');
        m_buffers.remove(socket);
        const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
        const QByteArray method = requestLine.value(0);
        QByteArray path = requestLine.value(1);
        QByteArray range;
        for (const QByteArray& line : lines)
            if (line.toLower().startsWith("range:"))
                range = line.mid(6).trimmed();

        if (path.startsWith("/storage/")) {
            const QByteArray key = QByteArray::fromPercentEncoding(path.mid(9));
            return sendStorage(socket, method, key, range);
        }
        const QByteArray key = QByteArray::fromPercentEncoding(path.mid(1));
        if (!m_files.contains(key))
            return send(socket, "404 Not Found", {{"X-Error-Code", "EntryNotFound"}, {"Content-Type", "text/plain"}},
                        "Entry not found", method == "HEAD");
        const File& file = m_files[key];
        QList<Header> headers{{"Location", "/storage/" + key.toPercentEncoding("/")},
                                                     {"X-Repo-Commit", "5359861c739e955e79d9a303bcbc70fb988958b1"}};
        if (!file.omitHashes) {
            const QByteArray sha = file.announcedSha256.isEmpty()
                                       ? QCryptographicHash::hash(file.bytes, QCryptographicHash::Sha256).toHex()
                                       : file.announcedSha256;
            headers.append(Header{"X-Linked-Etag", '"' + sha + '"'});
            headers.append(Header{"X-Linked-Size", QByteArray::number(file.announcedSize >= 0 ? file.announcedSize
                                                                                       : file.bytes.size())});
        }
        headers.append(Header{"ETag", "W/\"2a-3f\""});
        send(socket, "302 Found", headers, {}, true);
    }

    void sendStorage(QTcpSocket* socket, const QByteArray& method, const QByteArray& key, const QByteArray& range)
    {
        if (!m_files.contains(key))
            return send(socket, "404 Not Found", {}, "no such object", method == "HEAD");
        File& file = m_files[key];
        ++m_storageGets;
        m_ranges.append(range);
        if (file.status != 200)
            return send(socket, QByteArray::number(file.status) + " Failure", {{"Content-Type", "text/plain"}},
                        "storage failure", method == "HEAD");
        if (file.html)
            return send(socket, "200 OK", {{"Content-Type", "text/html; charset=utf-8"}},
                        "<!DOCTYPE html><html><body>Rate limited</body></html>", method == "HEAD");
        qint64 from = 0;
        if (range.startsWith("bytes=") && !file.ignoreRange)
            from = range.mid(6).split('-').value(0).toLongLong();
        const QByteArray body = file.bytes.mid(from);
        QList<Header> headers{{"Content-Type", "application/octet-stream"}};
        QByteArray status = "200 OK";
        if (from > 0) {
            status = "206 Partial Content";
            headers.append(Header{"Content-Range", "bytes " + QByteArray::number(from) + "-" +
                                                 QByteArray::number(file.bytes.size() - 1) + "/" +
                                                 QByteArray::number(file.bytes.size())});
        }
        QByteArray sent = body;
        if (file.cutAfter >= 0 && file.cutAfter < body.size()) {
            sent = body.left(file.cutAfter);
            file.cutAfter = -1;
        }
        headers.append(Header{"Content-Length", QByteArray::number(body.size())});
        writeHead(socket, status, headers);
        if (file.chunkDelayMs > 0)
            return trickle(socket, sent, file.chunkDelayMs);
        socket->write(sent);
        socket->disconnectFromHost();
    }

    void trickle(QTcpSocket* socket, QByteArray rest, int delayMs)
    {
        QPointer<QTcpSocket> guard(socket);
        auto* timer = new QTimer(socket);
        timer->setInterval(delayMs);
        connect(timer, &QTimer::timeout, socket, [guard, timer, rest]() mutable {
            if (!guard)
                return;
            guard->write(rest.left(16384));
            rest.remove(0, 16384);
            if (rest.isEmpty()) {
                timer->stop();
                guard->disconnectFromHost();
            }
        });
        timer->start();
    }

    static void writeHead(QTcpSocket* socket, const QByteArray& status,
                          const QList<Header>& headers)
    {
        QByteArray head = "HTTP/1.1 " + status + "\r\nConnection: close\r\n";
        for (const auto& h : headers)
            head += h.first + ": " + h.second + "\r\n";
        socket->write(head + "\r\n");
    }

    static void send(QTcpSocket* socket, const QByteArray& status, QList<Header> headers,
                     const QByteArray& body, bool headOnly)
    {
        headers.append(Header{"Content-Length", QByteArray::number(body.size())});
        writeHead(socket, status, headers);
        if (!headOnly)
            socket->write(body);
        socket->disconnectFromHost();
    }

    QTcpServer m_server;
    QHash<QByteArray, File> m_files;
    QHash<QTcpSocket*, QByteArray> m_buffers;
    int m_storageGets = 0;
    QList<QByteArray> m_ranges;
};
