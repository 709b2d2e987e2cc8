#pragma once
// One phone's TCP connection on the listener thread: bounded reads, frames taken out one at a
// time, one request in flight (the next frame waits for its reply), cut off after its lifetime.
#include "HelperProtocol.h"

#include <QObject>
#include <QTimer>
#include <chrono>

class QTcpSocket;

class HelperConnection : public QObject
{
    Q_OBJECT
public:
    static constexpr qint64 kReadChunk = 131072;

    HelperConnection(quint64 id, QTcpSocket* socket, std::chrono::milliseconds lifetime, QObject* parent = nullptr);
    ~HelperConnection() override;

    quint64 id() const { return m_id; }
    // Sends the reply to the request in flight, then goes on with the next frame.
    void reply(const Message& message);
    void cancel();

Q_SIGNALS:
    void request(quint64 connection, const Message& message);
    // Emitted once; the connection deletes itself afterwards.
    void closed(quint64 connection);

private:
    void pump();

    quint64 m_id;
    QTcpSocket* m_socket;
    QTimer m_deadline;
    QByteArray m_buffer;
    bool m_awaitingReply = false;
    bool m_closed = false;
};
