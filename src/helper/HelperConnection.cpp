#include "HelperConnection.h"

#include <QTcpSocket>

HelperConnection::HelperConnection(quint64 id, QTcpSocket* socket, std::chrono::milliseconds lifetime,
                                   QObject* parent)
    : QObject(parent), m_id(id), m_socket(socket)
{
    m_socket->setParent(this);
    // Qt would otherwise pull everything the peer sends into memory.
    m_socket->setReadBufferSize(kReadChunk);
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, &HelperConnection::cancel);
    m_deadline.start(lifetime);
    connect(m_socket, &QTcpSocket::readyRead, this, &HelperConnection::pump);
    connect(m_socket, &QTcpSocket::disconnected, this, &HelperConnection::cancel);
    connect(m_socket, &QTcpSocket::errorOccurred, this, &HelperConnection::cancel);
    // Bytes that came with the connection are read once the listener has connected to us.
    QMetaObject::invokeMethod(this, &HelperConnection::pump, Qt::QueuedConnection);
}

HelperConnection::~HelperConnection() = default;

void HelperConnection::reply(const Message& message)
{
    if (m_closed || !m_awaitingReply)
        return;
    m_awaitingReply = false;
    auto frame = HelperProtocol::encodeFrame(message);
    if (!frame) {
        cancel();
        return;
    }
    m_socket->write(*frame);
    pump();
}

void HelperConnection::cancel()
{
    if (m_closed)
        return;
    m_closed = true;
    m_deadline.stop();
    m_socket->disconnect(this);
    m_socket->abort();
    Q_EMIT closed(m_id);
    deleteLater();
}

void HelperConnection::pump()
{
    while (!m_closed && !m_awaitingReply) {
        auto next = HelperProtocol::decodeFrame(m_buffer);
        if (!next) {
            cancel();
            return;
        }
        if (next->has_value()) {
            m_awaitingReply = true;
            Q_EMIT request(m_id, **next);
            return;
        }
        if (m_socket->bytesAvailable() <= 0)
            return;
        const QByteArray chunk = m_socket->read(kReadChunk);
        if (chunk.isEmpty())
            return;
        m_buffer.append(chunk);
    }
}
