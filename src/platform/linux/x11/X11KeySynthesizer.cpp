#include "X11KeySynthesizer.h"

#include "X11Connection.h"

#include <QVarLengthArray>

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
