#include "MprisPlayers.h"

#include <QCoroDBusPendingCall>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusVariant>

namespace {
const QString kPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kPlayerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
} // namespace

MprisPlayers::MprisPlayers(QDBusConnection bus) : m_bus(std::move(bus)) {}

QCoro::Task<QStringList> MprisPlayers::runningPlayers()
{
    if (!isAvailable())
        co_return QStringList{};
    const QDBusMessage request = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("ListNames"));
    const QDBusMessage reply = co_await m_bus.asyncCall(request);
    QStringList players;
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        co_return players;
    for (const QString& name : reply.arguments().first().toStringList())
        if (name.startsWith(QLatin1String(kNamePrefix)))
            players.append(name);
    players.sort();
    co_return players;
}

QCoro::Task<Expected<bool, QString>> MprisPlayers::isPlaying(QString player)
{
    QDBusMessage request = QDBusMessage::createMethodCall(player, kPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                          QStringLiteral("Get"));
    request << kPlayerInterface << QStringLiteral("PlaybackStatus");
    const QDBusMessage reply = co_await m_bus.asyncCall(request);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        co_return unexpected(reply.errorMessage().isEmpty() ? QStringLiteral("réponse vide") : reply.errorMessage());
    const QVariant status = reply.arguments().first().value<QDBusVariant>().variant();
    co_return status.toString() == QLatin1String("Playing");
}

QCoro::Task<Expected<void, QString>> MprisPlayers::call(QString player, QString method)
{
    const QDBusMessage reply =
        co_await m_bus.asyncCall(QDBusMessage::createMethodCall(player, kPath, kPlayerInterface, method));
    if (reply.type() != QDBusMessage::ReplyMessage)
        co_return unexpected(reply.errorMessage());
    co_return Expected<void, QString>{};
}

QCoro::Task<Expected<void, QString>> MprisPlayers::pause(QString player) { return call(std::move(player), QStringLiteral("Pause")); }

QCoro::Task<Expected<void, QString>> MprisPlayers::play(QString player) { return call(std::move(player), QStringLiteral("Play")); }
