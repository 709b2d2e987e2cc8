#pragma once
// The phone's side of the link, for the command line and the tests: builds the sealed
// requests and exchanges one request for one reply per connection.
#include "HelperProtocol.h"

#include <QCoroTask>
#include <QString>
#include <chrono>
#include <optional>

class HelperPhoneClient
{
public:
    HelperPhoneClient(QString host, quint16 port, std::chrono::milliseconds timeout = std::chrono::seconds(10));

    // Sends the bytes as they are and reads one reply; nothing when the receiver closed the
    // connection without answering. Failures carry the user-facing message.
    QCoro::Task<Expected<std::optional<Message>, QString>> exchangeRaw(QByteArray bytes);
    QCoro::Task<Expected<Message, QString>> exchange(Message request);

private:
    QString m_host;
    quint16 m_port;
    std::chrono::milliseconds m_timeout;
};

namespace HelperPhoneRequests {
// key: HelperProtocol::deriveKey(code, deviceID).
Message pair(const QByteArray& key, const QString& deviceID, const QString& deviceName, const QString& deviceType,
             const QByteArray& secret, qint64 sentAt);
Message push(const QByteArray& secret, const QString& deviceID, const QString& text, const QString& deviceName,
             qint64 sentAt);
Message unpair(const QByteArray& secret, const QString& deviceID, qint64 sentAt);
// A request of the type, its payload sealed under key with a new nonce and deviceID as additional data.
Message sealed(QLatin1String type, const QByteArray& key, const QString& deviceID, const QByteArray& plaintext);
} // namespace HelperPhoneRequests
