#include "HelperSender.h"

#include "ai/KeychainManager.h"

#include <QDateTime>
#include <QHostAddress>
#include <QtConcurrent>
#include <QCoroFuture>

std::optional<HelperTarget> HelperTarget::parse(const QString& text)
{
    const qsizetype colon = text.lastIndexOf(u':');
    if (colon <= 0)
        return std::nullopt;
    QString host = text.left(colon);
    if (host.startsWith(u'[') && host.endsWith(u']'))
        host = host.mid(1, host.size() - 2);
    bool ok = false;
    const uint port = text.mid(colon + 1).toUInt(&ok);
    if (!ok || port == 0 || port > 65535 || host.isEmpty() || host.contains(u'/'))
        return std::nullopt;
    return HelperTarget{host, quint16(port)};
}

HelperSender::HelperSender(KeychainManager& keychain, QString deviceID, QString deviceName)
    : m_keychain(keychain), m_deviceID(std::move(deviceID)), m_deviceName(std::move(deviceName))
{
}

QString HelperSender::reasonText(const QString& reason)
{
    if (reason == HelperReason::notPairing)
        return QStringLiteral("L'ordinateur n'attend pas d'association : ouvrez « Associer un téléphone » sur l'ordinateur");
    if (reason == HelperReason::badCode)
        return QStringLiteral("Code d'association incorrect");
    if (reason == HelperReason::unpaired)
        return QStringLiteral("Cet appareil n'est pas associé à cet ordinateur : ovra helper pair HÔTE:PORT CODE");
    if (reason == HelperReason::badPayload)
        return QStringLiteral("L'ordinateur n'a pas pu lire le message (secret différent ?)");
    if (reason == HelperReason::stale)
        return QStringLiteral("Message refusé : les horloges des deux appareils diffèrent de plus de 45 secondes");
    if (reason == HelperReason::unknownType)
        return QStringLiteral("L'ordinateur ne connaît pas cette requête");
    return QStringLiteral("Refus de l'ordinateur : ") + reason;
}

namespace {

QString refusal(const Message& reply)
{
    if (reply.type == HelperMessageType::error)
        return HelperSender::reasonText(reply.reason.value_or(QString()));
    return QStringLiteral("Réponse inattendue de l'ordinateur : ") + reply.type;
}

} // namespace

QCoro::Task<Expected<QString, QString>> HelperSender::pair(HelperTarget target, QString code)
{
    code = code.trimmed();
    if (code.size() != 6 || !std::all_of(code.begin(), code.end(), [](QChar c) { return c.isDigit() && c.unicode() < 128; }))
        co_return unexpected(QStringLiteral("Le code d'association a six chiffres"));
    const QByteArray secret = HelperProtocol::randomBytes(HelperProtocol::kKeyLength);
    if (secret.isEmpty())
        co_return unexpected(QStringLiteral("Générateur aléatoire indisponible"));
    const QString deviceID = m_deviceID;
    // A named future: GCC 12 mishandles a capturing lambda temporary inside a co_await operand.
    QFuture<QByteArray> derivation = QtConcurrent::run([code, deviceID] { return HelperProtocol::deriveKey(code, deviceID); });
    const QByteArray key = co_await derivation;
    HelperPhoneClient client(target.host, target.port);
    Message request = HelperPhoneRequests::pair(key, m_deviceID, m_deviceName, QStringLiteral("linux"), secret,
                                                QDateTime::currentSecsSinceEpoch());
    auto reply = co_await client.exchange(request);
    if (!reply)
        co_return unexpected(reply.error());
    if (reply->type != HelperMessageType::pairOK || !reply->helperID || reply->helperID->isEmpty())
        co_return unexpected(refusal(*reply));
    if (auto saved = m_keychain.save(secret, QLatin1String(kSecretAccountPrefix) + *reply->helperID); !saved)
        co_return unexpected(saved.error().message());
    co_return reply->helperName.value_or(*reply->helperID);
}

QCoro::Task<Expected<QString, QString>> HelperSender::send(HelperTarget target, QString text)
{
    HelperPhoneClient client(target.host, target.port);
    Message ping;
    ping.type = HelperMessageType::ping;
    ping.deviceID = m_deviceID;
    auto pong = co_await client.exchange(ping);
    if (!pong)
        co_return unexpected(pong.error());
    if (pong->type != HelperMessageType::pong || !pong->helperID)
        co_return unexpected(refusal(*pong));
    const QString name = pong->helperName.value_or(*pong->helperID);
    const auto secret = m_keychain.read(QLatin1String(kSecretAccountPrefix) + *pong->helperID);
    if (!secret || !pong->paired.value_or(false))
        co_return unexpected(HelperSender::reasonText(HelperReason::unpaired));
    auto reply = co_await client.exchange(
        HelperPhoneRequests::push(*secret, m_deviceID, text, m_deviceName, QDateTime::currentSecsSinceEpoch()));
    if (!reply)
        co_return unexpected(reply.error());
    if (reply->type != HelperMessageType::ok)
        co_return unexpected(refusal(*reply));
    co_return name;
}
