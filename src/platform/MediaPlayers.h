#pragma once
// The media players running on the desktop, by name, with their playback state.
#include "store/Expected.h"

#include <QCoroTask>
#include <QStringList>

class MediaPlayers
{
public:
    virtual ~MediaPlayers() = default;
    virtual bool isAvailable() const = 0;
    // Names of the running players.
    virtual QCoro::Task<QStringList> runningPlayers() = 0;
    // True when the player is playing; error: the platform's description.
    virtual QCoro::Task<Expected<bool, QString>> isPlaying(QString player) = 0;
    virtual QCoro::Task<Expected<void, QString>> pause(QString player) = 0;
    virtual QCoro::Task<Expected<void, QString>> play(QString player) = 0;
};
