#include "X11KeySynthesizer.h"

#include "X11Connection.h"

#include <QCoroTimer>
#include <algorithm>
#include <iterator>
#include <QPointer>
#include <QVarLengthArray>
#include <chrono>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

X11KeySynthesizer::X11KeySynthesizer(X11Connection* connection) : m_connection(connection)
{
    int event = 0, error = 0, major = 0, minor = 0;
    m_trusted = connection && XTestQueryExtension(connection->display(), &event, &error, &major, &minor);
}

void X11KeySynthesizer::post(KeyChord chord)
{
    if (!m_trusted)
        return;
    Display* display = m_connection->display();
    QVarLengthArray<KeySym, 3> keys;
    switch (chord) {
    case KeyChord::paste:
        keys = {XK_Control_L, XK_v};
        break;
    case KeyChord::terminalPaste:
        keys = {XK_Control_L, XK_Shift_L, XK_v};
        break;
    case KeyChord::copy:
        keys = {XK_Control_L, XK_c};
        break;
    case KeyChord::terminalCopy:
        keys = {XK_Control_L, XK_Shift_L, XK_c};
        break;
    case KeyChord::returnKey:
        keys = {XK_Return};
        break;
    }
    // Key codes come from the current layout, so the letter is V on Dvorak or AZERTY too.
    QVarLengthArray<KeyCode, 3> codes;
    for (KeySym k : keys) {
        const KeyCode code = XKeysymToKeycode(display, k);
        if (code == 0)
            return; // the layout lacks the key: nothing sensible to type
        codes.append(code);
    }
    for (KeyCode c : codes)
        XTestFakeKeyEvent(display, c, True, CurrentTime);
    for (auto it = codes.rbegin(); it != codes.rend(); ++it)
        XTestFakeKeyEvent(display, *it, False, CurrentTime);
    XFlush(display);
}

bool X11KeySynthesizer::keyHeld() const
{
    if (!m_connection)
        return false;
    char keys[32] = {};
    XQueryKeymap(m_connection->display(), keys);
    return std::any_of(std::begin(keys), std::end(keys), [](char byte) { return byte != 0; });
}

QCoro::Task<> X11KeySynthesizer::keysReleased()
{
    using namespace std::chrono_literals;
    // Beyond this the user is holding a key on purpose: go ahead.
    constexpr auto kLongest = 1500ms;
    constexpr auto kPoll = 10ms;
    for (auto waited = 0ms; waited < kLongest && keyHeld(); waited += kPoll)
        co_await QCoro::sleepFor(kPoll);
}
