#pragma once
// A small HTTP/1.1 server on 127.0.0.1 for integration tests of the cloud clients: records
// every request (headers and body byte for byte) and answers from a script, faults included
// (dropped connection, stall, truncated body, a reply that is not HTTP, gzip bodies).
#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPair>
#include <QTcpServer>
#include <QTcpSocket>
#include <deque>
#include <map>

#include <zlib.h>

class LocalHttpServer
{
public:
    struct Request
    {
        QByteArray method;
        QByteArray target; // path and query as sent
        QList<QPair<QByteArray, QByteArray>> headers; // in the order received
        QByteArray body;
        qint64 bodySize = 0; // kept even when bodies are discarded

        QByteArray header(const QByteArray& name) const
        {
            for (const auto& h : headers)
                if (h.first.compare(name, Qt::CaseInsensitive) == 0)
                    return h.second;
            return {};
        }
        int headerCount(const QByteArray& name) const
        {
            int n = 0;
            for (const auto& h : headers)
                n += h.first.compare(name, Qt::CaseInsensitive) == 0;
            return n;
        }
    };

    struct Reply
    {
        enum class Action { respond, drop, stall, raw };
        Action action = Action::respond;
        int status = 200;
        QByteArray body;
        QByteArray contentType = "application/json";
        bool gzip = false;
        // respond: close after this many body bytes although Content-Length announces all.
        qint64 truncateAt = -1;
        // raw: bytes written as they are, then the connection is closed.
        QByteArray rawBytes;
        // respond: extra header lines ("Retry-After", ...).
        QList<QPair<QByteArray, QByteArray>> headers;
        // Set: this reply waits for a request whose target or body contains it (for requests
        // sent at the same time, whose order of arrival is not known).
        QByteArray awaits;

        static Reply json(int status, const QByteArray& body) { return Reply{Action::respond, status, body}; }
        static Reply drop() { return Reply{Action::drop}; }
        static Reply stall() { return Reply{Action::stall}; }
        static Reply raw(const QByteArray& bytes)
        {
            Reply r{Action::raw};
            r.rawBytes = bytes;
            return r;
        }
    };

    LocalHttpServer()
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this] { accept(); });
    }
    ~LocalHttpServer()
    {
        // The sockets are children of the server and go with it.
        for (auto& [socket, conn] : m_connections)
            QObject::disconnect(socket, nullptr, nullptr, nullptr);
        m_connections.clear();
    }

    quint16 port() const { return m_server.serverPort(); }
    QString url() const { return QStringLiteral("http://127.0.0.1:%1").arg(port()); }

    // Replies are used in order (one that awaits a request waits for it); once they run out, the default
    // reply answers.
    void enqueue(const Reply& r) { m_replies.push_back(r); }
    void setDefaultReply(const Reply& r) { m_default = r; }
    // Bodies are counted but not kept (large uploads).
    void setDiscardBodies(bool discard) { m_discard = discard; }

    QList<Request> requests;

private:
    struct Connection
    {
        QByteArray buffer;
        bool headersDone = false;
        qint64 contentLength = 0;
        Request current;
    };

    void accept()
    {
        while (QTcpSocket* s = m_server.nextPendingConnection()) {
            m_connections[s] = Connection{};
            QObject::connect(s, &QTcpSocket::readyRead, s, [this, s] { read(s); });
            QObject::connect(s, &QTcpSocket::disconnected, s, [this, s] {
                m_connections.erase(s);
                s->deleteLater();
            });
        }
    }

    void read(QTcpSocket* s)
    {
        auto it = m_connections.find(s);
        if (it == m_connections.end())
            return;
        Connection& c = it->second;
        const QByteArray chunk = s->readAll();
        if (!c.headersDone) {
            c.buffer += chunk;
            const qsizetype end = c.buffer.indexOf("\r\n\r\n");
            if (end < 0)
                return;
            const QList<QByteArray> lines = c.buffer.left(end).split('\n');
            const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
            c.current = Request{};
            c.current.method = requestLine.value(0);
            c.current.target = requestLine.value(1);
            for (qsizetype i = 1; i < lines.size(); ++i) {
                const QByteArray line = lines[i].trimmed();
                const qsizetype colon = line.indexOf(':');
                if (colon > 0)
                    c.current.headers.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
            }
            c.contentLength = c.current.header("Content-Length").toLongLong();
            c.headersDone = true;
            const QByteArray rest = c.buffer.mid(end + 4);
            c.buffer.clear();
            addBody(c, rest);
        } else {
            addBody(c, chunk);
        }
        if (c.current.bodySize >= c.contentLength) {
            c.headersDone = false;
            requests.append(c.current);
            answer(s);
        }
    }

    void addBody(Connection& c, const QByteArray& bytes)
    {
        c.current.bodySize += bytes.size();
        if (!m_discard)
            c.current.body += bytes;
    }

    static QByteArray gzipped(const QByteArray& data)
    {
        z_stream zs{};
        deflateInit2(&zs, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
        QByteArray out(static_cast<qsizetype>(deflateBound(&zs, static_cast<uLong>(data.size()))) + 32, '\0');
        zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
        zs.avail_in = static_cast<uInt>(data.size());
        zs.next_out = reinterpret_cast<Bytef*>(out.data());
        zs.avail_out = static_cast<uInt>(out.size());
        deflate(&zs, Z_FINISH);
        out.resize(static_cast<qsizetype>(zs.total_out));
        deflateEnd(&zs);
        return out;
    }

    void answer(QTcpSocket* s)
    {
        Reply r = m_default;
        const Request current = requests.isEmpty() ? Request{} : requests.back();
        for (auto it = m_replies.begin(); it != m_replies.end(); ++it)
            if (it->awaits.isEmpty() || current.target.contains(it->awaits) || current.body.contains(it->awaits)) {
                r = *it;
                m_replies.erase(it);
                break;
            }
        switch (r.action) {
        case Reply::Action::stall:
            return;
        case Reply::Action::drop:
            s->abort();
            return;
        case Reply::Action::raw:
            s->write(r.rawBytes);
            s->flush();
            s->disconnectFromHost();
            return;
        case Reply::Action::respond:
            break;
        }
        const QByteArray body = r.gzip ? gzipped(r.body) : r.body;
        QByteArray head = "HTTP/1.1 " + QByteArray::number(r.status) + " Status\r\n";
        head += "Content-Type: " + r.contentType + "\r\n";
        if (r.gzip)
            head += "Content-Encoding: gzip\r\n";
        for (const auto& [name, value] : r.headers)
            head += name + ": " + value + "\r\n";
        head += "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n";
        if (r.truncateAt >= 0) {
            s->write(head + body.left(r.truncateAt));
            s->flush();
            s->disconnectFromHost();
            return;
        }
        s->write(head + body);
    }

    QTcpServer m_server;
    std::map<QTcpSocket*, Connection> m_connections;
    std::deque<Reply> m_replies;
    Reply m_default = Reply::json(200, "{}");
    bool m_discard = false;
};
