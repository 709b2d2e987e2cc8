#pragma once
// Media players over MPRIS on the D-Bus session bus: every bus name under
// "org.mpris.MediaPlayer2." is a player; PlaybackStatus "Playing" means it plays.
#include "platform/MediaPlayers.h"

#include <QDBusConnection>

class MprisPlayers : public MediaPlayers
{
public:
    static constexpr const char* kNamePrefix = "org.mpris.MediaPlayer2.";

    explicit MprisPlayers(QDBusConnection bus = QDBusConnection::sessionBus());
    // False without a session bus: nothing is paused and the rest of the program runs.
    bool isAvailable() const override { return m_bus.isConnected(); }
    QCoro::Task<QStringList> runningPlayers() override;
    QCoro::Task<Expected<bool, QString>> isPlaying(QString player) override;
    QCoro::Task<Expected<void, QString>> pause(QString player) override;
    QCoro::Task<Expected<void, QString>> play(QString player) override;

private:
    QCoro::Task<Expected<void, QString>> call(QString player, QString method);
    QDBusConnection m_bus;
};
