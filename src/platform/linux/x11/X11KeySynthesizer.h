#pragma once
// Synthetic key presses through XTest; trusted exactly when the server offers XTest.
#include "platform/KeySynthesizer.h"

class X11Connection;

class X11KeySynthesizer : public KeySynthesizer
{
public:
    // connection may be null (no X server): never trusted.
    explicit X11KeySynthesizer(X11Connection* connection);
    bool isTrusted() const override { return m_trusted; }
    void post(KeyChord chord) override;
    QCoro::Task<> keysReleased() override;
    // True while any key is down.
    bool keyHeld() const;

private:
    X11Connection* m_connection;
    bool m_trusted = false;
};
