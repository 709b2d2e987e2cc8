#pragma once
// Plays the program's sounds through PulseAudio (or PipeWire's PulseAudio server) on a worker
// thread, so the caller never waits for the sound server.
#include "platform/SoundPlayer.h"
#include "store/Expected.h"

#include <QFuture>
#include <QString>

class PulseSoundPlayer : public SoundPlayer
{
public:
    void play(SystemSound sound) override { playSound(sound); }
    // Finishes when the sound has been played; error: the sound server's message.
    QFuture<Expected<void, QString>> playSound(SystemSound sound);
};
