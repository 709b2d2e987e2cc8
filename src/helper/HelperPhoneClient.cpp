#include "HelperPhoneClient.h"

#include <QCoroAbstractSocket>
#include <QCoroIODevice>
#include <QDeadlineTimer>
#include <QTcpSocket>

HelperPhoneClient::HelperPhoneClient(QString host, quint16 port, std::chrono::milliseconds timeout)
    : m_host(std::move(host)), m_port(port), m_timeout(timeout)
{
}

QCoro::Task<Expected<std::optional<Message>, QString>> HelperPhoneClient::exchangeRaw(QByteArray bytes)
{
    // Copies: the client may be a temporary that is gone when the coroutine resumes.
    const QString host = m_host;
    const quint16 port = m_port;
    const std::chrono::milliseconds timeout = m_timeout;
    const QString where = host + u':' + QString::number(port);
    QTcpSocket socket;
    if (!co_await qCoro(socket).connectToHost(host, port, QIODevice::ReadWrite, QAbstractSocket::AnyIPProtocol, timeout))
        co_return unexpected(QStringLiteral("Connexion impossible à %1 — %2").arg(where, socket.errorString()));
    socket.write(bytes);
    QByteArray buffer;
    QDeadlineTimer deadline(timeout);
    for (;;) {
        auto reply = HelperProtocol::decodeFrame(buffer);
        if (!reply)
            co_return unexpected(QStringLiteral("Réponse illisible de %1").arg(where));
        if (reply->has_value())
            co_return std::optional<Message>(std::move(**reply));
        if (deadline.hasExpired())
            co_return unexpected(QStringLiteral("Pas de réponse de %1").arg(where));
        if (socket.state() != QAbstractSocket::ConnectedState && socket.bytesAvailable() == 0)
            co_return std::optional<Message>{};
        const auto left = std::chrono::milliseconds(qMax<qint64>(1, deadline.remainingTime()));
        co_await qCoro(socket).waitForReadyRead(left);
        buffer += socket.readAll();
    }
}

QCoro::Task<Expected<Message, QString>> HelperPhoneClient::exchange(Message request)
{
    const QString where = m_host + u':' + QString::number(m_port);
    auto frame = HelperProtocol::encodeFrame(request);
    if (!frame)
        co_return unexpected(QStringLiteral("Message trop long (1 Mio au plus)"));
    auto reply = co_await exchangeRaw(*frame);
    if (!reply)
        co_return unexpected(reply.error());
    if (!reply->has_value())
        co_return unexpected(QStringLiteral("Connexion fermée par %1 sans réponse").arg(where));
    co_return std::move(**reply);
}

namespace HelperPhoneRequests {

Message sealed(QLatin1String type, const QByteArray& key, const QString& deviceID, const QByteArray& plaintext)
{
    Message m;
    m.type = type;
    m.deviceID = deviceID;
    m.nonce = HelperProtocol::randomBytes(HelperProtocol::kNonceLength);
    m.payload = HelperProtocol::seal(plaintext, key, *m.nonce, deviceID);
    return m;
}

Message pair(const QByteArray& key, const QString& deviceID, const QString& deviceName, const QString& deviceType,
             const QByteArray& secret, qint64 sentAt)
{
    Message m = sealed(HelperMessageType::pair, key, deviceID, PairPayload{secret, sentAt}.toJson());
    m.deviceName = deviceName;
    m.deviceType = deviceType;
    return m;
}

Message push(const QByteArray& secret, const QString& deviceID, const QString& text, const QString& deviceName,
             qint64 sentAt)
{
    return sealed(HelperMessageType::push, secret, deviceID, PushPayload{text, sentAt, deviceName}.toJson());
}

Message unpair(const QByteArray& secret, const QString& deviceID, qint64 sentAt)
{
    return sealed(HelperMessageType::unpair, secret, deviceID, UnpairPayload{sentAt}.toJson());
}

} // namespace HelperPhoneRequests
