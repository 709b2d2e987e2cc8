#include "DBusControlClient.h"

#include "DBusControlWire.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusServiceWatcher>
#include <QEventLoop>
#include <QTimer>

QString DBusControlClient::notRunningMessage()
{
    return QStringLiteral("Ovra n'est pas lancé : démarrez l'application (commande « ovra ») puis réessayez.");
}

DBusControlClient::DBusControlClient(QDBusConnection bus, std::chrono::milliseconds timeout)
    : m_bus(std::move(bus)), m_timeout(timeout)
{
}

bool DBusControlClient::waitUntilRunning(std::chrono::milliseconds timeout)
{
    if (!m_bus.isConnected())
        return false;
    const QString service = QString::fromLatin1(DBusControlWire::kService);
    QDBusServiceWatcher watcher(service, m_bus, QDBusServiceWatcher::WatchForRegistration);
    QEventLoop loop;
    QObject::connect(&watcher, &QDBusServiceWatcher::serviceRegistered, &loop, &QEventLoop::quit);
    QTimer::singleShot(timeout, &loop, &QEventLoop::quit);
    // Asked after the watcher exists, so a registration in between is not missed.
    const auto registered = m_bus.interface()->isServiceRegistered(service);
    if (registered.isValid() && registered.value())
        return true;
    loop.exec();
    const auto now = m_bus.interface()->isServiceRegistered(service);
    return now.isValid() && now.value();
}

Expected<QDBusMessage, QString> DBusControlClient::call(const QString& method, const QVariantList& args)
{
    if (!m_bus.isConnected())
        return unexpected(notRunningMessage() + QStringLiteral(" (pas de bus de session D-Bus)"));
    QDBusMessage message = QDBusMessage::createMethodCall(QString::fromLatin1(DBusControlWire::kService),
                                                          QString::fromLatin1(DBusControlWire::kPath),
                                                          QString::fromLatin1(DBusControlWire::kInterface), method);
    message.setArguments(args);
    const QDBusMessage reply = m_bus.call(message, QDBus::Block, int(m_timeout.count()));
    if (reply.type() == QDBusMessage::ReplyMessage)
        return reply;
    const QString name = reply.errorName();
    if (name == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
        name == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner"))
        return unexpected(notRunningMessage());
    if (name == QLatin1String("org.freedesktop.DBus.Error.NoReply") ||
        name == QLatin1String("org.freedesktop.DBus.Error.Timeout"))
        return unexpected(QStringLiteral("Ovra ne répond pas."));
    if (name == QLatin1String(DBusControlWire::kFailed))
        return unexpected(reply.errorMessage());
    return unexpected(QStringLiteral("Ovra a refusé la commande : ") + reply.errorMessage());
}

Expected<void, QString> DBusControlClient::callVoid(const QString& method, const QVariantList& args)
{
    const auto reply = call(method, args);
    if (!reply)
        return unexpected(reply.error());
    return {};
}

Expected<QVariantMap, QString> DBusControlClient::callMap(const QString& method)
{
    const auto reply = call(method);
    if (!reply)
        return unexpected(reply.error());
    const QVariantList args = reply->arguments();
    if (args.isEmpty())
        return unexpected(QStringLiteral("Ovra a répondu sans données."));
    const QVariant first = args.first();
    if (first.canConvert<QDBusArgument>())
        return qdbus_cast<QVariantMap>(first.value<QDBusArgument>());
    return first.toMap();
}

Expected<void, QString> DBusControlClient::toggle() { return callVoid(QStringLiteral("Toggle")); }

Expected<void, QString> DBusControlClient::pushToTalk(bool pressed)
{
    return callVoid(pressed ? QStringLiteral("PushToTalkPress") : QStringLiteral("PushToTalkRelease"));
}

Expected<void, QString> DBusControlClient::cancel() { return callVoid(QStringLiteral("Cancel")); }
Expected<void, QString> DBusControlClient::transform() { return callVoid(QStringLiteral("Transform")); }

Expected<void, QString> DBusControlClient::showWindow(const QString& section)
{
    return callVoid(QStringLiteral("ShowWindow"), {section});
}

Expected<RemoteHelperStatus, QString> DBusControlClient::helperStatus()
{
    const auto map = callMap(QStringLiteral("HelperStatus"));
    if (!map)
        return unexpected(map.error());
    return DBusControlWire::helperStatusFromMap(*map);
}

Expected<void, QString> DBusControlClient::setHelperEnabled(bool enabled)
{
    return callVoid(enabled ? QStringLiteral("HelperEnable") : QStringLiteral("HelperDisable"));
}

Expected<RemotePairingCode, QString> DBusControlClient::startHelperPairing()
{
    const auto map = callMap(QStringLiteral("HelperStartPairing"));
    if (!map)
        return unexpected(map.error());
    return DBusControlWire::pairingCodeFromMap(*map);
}
