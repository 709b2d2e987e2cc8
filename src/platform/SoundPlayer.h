#pragma once
// Short sounds shipped with the program; playing never blocks the caller.
enum class SystemSound { pop, glass, beep };

class SoundPlayer
{
public:
    virtual ~SoundPlayer() = default;
    virtual void play(SystemSound sound) = 0;
};
