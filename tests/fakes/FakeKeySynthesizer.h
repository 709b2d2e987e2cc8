#pragma once
// Records the chords posted; onPost lets a test play the focused application's part.
#include "platform/KeySynthesizer.h"

#include <QList>
#include <functional>

class FakeKeySynthesizer : public KeySynthesizer
{
public:
    bool trusted = true;
    QList<KeyChord> posted;
    std::function<void(KeyChord)> onPost;

    bool isTrusted() const override { return trusted; }
    void post(KeyChord chord) override
    {
        if (!trusted)
            return;
        posted.append(chord);
        if (onPost)
            onPost(chord);
    }
};
