#pragma once
// The receiver's TCP listener and its connections, living on the receiver's own thread. It
// only moves frames: every request goes to the receiver, every reply comes back here.
#include "HelperProtocol.h"

#include <QHash>
#include <QObject>
#include <chrono>

class HelperConnection;
class QTcpServer;

class HelperListener : public QObject
{
    Q_OBJECT
public:
    HelperListener(int maxConnections, std::chrono::milliseconds connectionLifetime, QObject* parent = nullptr);
    ~HelperListener() override;

    // Listens on every address; port 0 picks a free one. Answers with ready() or failed().
    void start(quint16 port);
    // Closes the listener and every open connection.
    void stop();
    void reply(quint64 connection, const Message& message);
    int openConnections() const { return int(m_connections.size()); }

Q_SIGNALS:
    void ready(quint16 port);
    void failed(const QString& error);
    void request(quint64 connection, const Message& message);

private:
    void accept();

    int m_maxConnections;
    std::chrono::milliseconds m_lifetime;
    QTcpServer* m_server = nullptr;
    QHash<quint64, HelperConnection*> m_connections;
    quint64 m_nextId = 1;
};
