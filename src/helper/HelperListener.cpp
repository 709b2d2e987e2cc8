#include "HelperListener.h"

#include "HelperConnection.h"

#include <QTcpServer>
#include <QTcpSocket>

HelperListener::HelperListener(int maxConnections, std::chrono::milliseconds connectionLifetime, QObject* parent)
    : QObject(parent), m_maxConnections(maxConnections), m_lifetime(connectionLifetime)
{
}

HelperListener::~HelperListener() { stop(); }

void HelperListener::start(quint16 port)
{
    stop();
    m_server = new QTcpServer(this);
    connect(m_server, &QTcpServer::newConnection, this, &HelperListener::accept);
    connect(m_server, &QTcpServer::acceptError, this, [this](QAbstractSocket::SocketError) {
        const QString error = m_server->errorString();
        stop();
        Q_EMIT failed(error);
    });
    if (!m_server->listen(QHostAddress::Any, port)) {
        const QString error = m_server->errorString();
        stop();
        Q_EMIT failed(error);
        return;
    }
    Q_EMIT ready(m_server->serverPort());
}

void HelperListener::stop()
{
    const auto open = m_connections.values();
    m_connections.clear();
    for (HelperConnection* c : open) {
        c->disconnect(this);
        c->cancel();
    }
    if (m_server) {
        m_server->disconnect(this);
        m_server->close();
        m_server->deleteLater();
        m_server = nullptr;
    }
}

void HelperListener::reply(quint64 connection, const Message& message)
{
    // The connection may have closed while the request was being handled.
    if (HelperConnection* c = m_connections.value(connection))
        c->reply(message);
}

void HelperListener::accept()
{
    while (m_server && m_server->hasPendingConnections() && m_connections.size() < m_maxConnections) {
        QTcpSocket* socket = m_server->nextPendingConnection();
        const quint64 id = m_nextId++;
        auto* c = new HelperConnection(id, socket, m_lifetime, this);
        m_connections.insert(id, c);
        connect(c, &HelperConnection::request, this, &HelperListener::request);
        connect(c, &HelperConnection::closed, this, [this](quint64 closedId) {
            m_connections.remove(closedId);
            if (m_server && m_server->isListening()) {
                m_server->resumeAccepting();
                accept();
            }
        });
    }
    // At the limit, newcomers wait in line (in the kernel's queue) rather than being turned
    // away: a burst of junk connections delays a phone by a moment but never refuses it.
    if (m_server && m_connections.size() >= m_maxConnections)
        m_server->pauseAccepting();
}
