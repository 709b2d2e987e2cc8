#include "X11Keyboard.h"

#include "X11Connection.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XInput2.h>
#include <X11/keysym.h>

namespace {

unsigned int maskOfKey(Display* d, KeySym key)
{
    const KeyCode code = XKeysymToKeycode(d, key);
    if (code == 0)
        return 0;
    XModifierKeymap* map = XGetModifierMapping(d);
    unsigned int mask = 0;
    for (int mod = 0; mod < 8 && mask == 0; ++mod)
        for (int k = 0; k < map->max_keypermod; ++k)
            if (map->modifiermap[mod * map->max_keypermod + k] == code)
                mask = 1u << mod;
    XFreeModifiermap(map);
    return mask;
}

unsigned int xModifiers(int modifiers)
{
    unsigned int m = 0;
    if (modifiers & KeyCombo::control)
        m |= ControlMask;
    if (modifiers & KeyCombo::shift)
        m |= ShiftMask;
    if (modifiers & KeyCombo::alt)
        m |= Mod1Mask;
    if (modifiers & KeyCombo::super)
        m |= Mod4Mask;
    return m;
}

} // namespace

X11Keyboard::X11Keyboard(X11Connection* connection) : m_connection(connection)
{
    if (!connection)
        return;
    Display* d = connection->display();
    Bool supported = False;
    XkbSetDetectableAutoRepeat(d, True, &supported);
    m_numLockMask = maskOfKey(d, XK_Num_Lock);
    m_scrollLockMask = maskOfKey(d, XK_Scroll_Lock);
    connection->addEventHandler([this](XEvent* e) { handle(e); });
    // While a grab of ours is active the server does not send raw events to us, only to other
    // clients: the monitors listen on a connection of their own.
    m_monitorConnection = X11Connection::open();
    if (!m_monitorConnection)
        return;
    Display* m = m_monitorConnection->display();
    int event = 0, error = 0, opcode = 0;
    if (XQueryExtension(m, "XInputExtension", &opcode, &event, &error)) {
        // From 2.1 on, raw events reach clients other than the grabbing one.
        int major = 2, minor = 2;
        if (XIQueryVersion(m, &major, &minor) == Success && (major > 2 || minor >= 1))
            m_xiOpcode = opcode;
    }
    m_monitorConnection->addEventHandler([this](XEvent* e) { handle(e); });
}

X11Keyboard::~X11Keyboard()
{
    if (!m_connection)
        return;
    for (const Grab& g : m_grabs)
        grabKey(g, false);
    selectRawEvents(false);
    XFlush(m_connection->display());
}

std::vector<unsigned int> X11Keyboard::lockMaskCombinations() const
{
    std::vector<unsigned int> masks{0};
    for (unsigned int lock : {unsigned(LockMask), m_numLockMask, m_scrollLockMask}) {
        if (lock == 0)
            continue;
        const size_t n = masks.size();
        for (size_t i = 0; i < n; ++i)
            masks.push_back(masks[i] | lock);
    }
    return masks;
}

void X11Keyboard::grabKey(const Grab& g, bool on)
{
    Display* d = m_connection->display();
    for (unsigned int locks : lockMaskCombinations()) {
        if (on)
            XGrabKey(d, int(g.keycode), g.modifiers | locks, m_connection->rootWindow(), False, GrabModeAsync,
                     GrabModeAsync);
        else
            XUngrabKey(d, int(g.keycode), g.modifiers | locks, m_connection->rootWindow());
    }
}

Expected<void, QString> X11Keyboard::grab(const KeyCombo& combo, std::function<void()> onDown,
                                          std::function<void()> onUp)
{
    if (!m_connection)
        return unexpected(QStringLiteral("Pas de serveur X : les raccourcis globaux sont indisponibles."));
    Display* d = m_connection->display();
    const KeySym sym = XStringToKeysym(combo.key.toLatin1().constData());
    const KeyCode code = sym == NoSymbol ? 0 : XKeysymToKeycode(d, sym);
    if (code == 0)
        return unexpected(QStringLiteral("La touche de ") + combo.displayText() +
                          QStringLiteral(" n'existe pas sur la disposition du clavier."));
    ungrab(combo);
    Grab g{combo, code, xModifiers(combo.modifiers), std::move(onDown), std::move(onUp)};
    X11ErrorTrap trap(d);
    grabKey(g, true);
    if (trap.sync() != 0) {
        grabKey(g, false);
        return unexpected(QStringLiteral("Le raccourci ") + combo.displayText() +
                          QStringLiteral(" est déjà pris par un autre programme."));
    }
    m_grabs.push_back(std::move(g));
    return {};
}

void X11Keyboard::ungrab(const KeyCombo& combo)
{
    if (!m_connection)
        return;
    for (auto it = m_grabs.begin(); it != m_grabs.end(); ++it) {
        if (it->combo == combo) {
            X11ErrorTrap trap(m_connection->display());
            grabKey(*it, false);
            m_grabs.erase(it);
            return;
        }
    }
}

int X11Keyboard::addKeyDownMonitor(std::function<void(const KeyDownEvent&)> callback)
{
    if (m_xiOpcode < 0)
        return 0;
    if (m_monitors.empty())
        selectRawEvents(true);
    const int handle = m_nextMonitor++;
    m_monitors[handle] = Monitor{std::move(callback), m_lastKeyTime};
    return handle;
}

void X11Keyboard::removeMonitor(int handle)
{
    if (m_monitors.erase(handle) && m_monitors.empty())
        selectRawEvents(false);
}

void X11Keyboard::selectRawEvents(bool on)
{
    if (m_xiOpcode < 0)
        return;
    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
    if (on)
        XISetMask(bits, XI_RawKeyPress);
    XIEventMask mask{XIAllMasterDevices, int(sizeof bits), bits};
    XISelectEvents(m_monitorConnection->display(), m_monitorConnection->rootWindow(), &mask, 1);
    XFlush(m_monitorConnection->display());
}

void X11Keyboard::handle(XEvent* e)
{
    if (e->type == KeyPress || e->type == KeyRelease) {
        m_lastKeyTime = e->xkey.time;
        const unsigned int ignored = LockMask | m_numLockMask | m_scrollLockMask;
        for (Grab& g : m_grabs) {
            if (g.keycode != e->xkey.keycode)
                continue;
            if (e->type == KeyPress && !g.pressed && (e->xkey.state & ~ignored) == g.modifiers) {
                g.pressed = true;
                if (g.onDown)
                    g.onDown();
                return;
            }
            // The modifiers may already be up when the key is released.
            if (e->type == KeyRelease && g.pressed) {
                g.pressed = false;
                if (g.onUp)
                    g.onUp();
                return;
            }
        }
        return;
    }
    if (e->type != GenericEvent || e->xcookie.extension != m_xiOpcode || e->xcookie.evtype != XI_RawKeyPress ||
        !e->xcookie.data)
        return;
    const auto* raw = static_cast<const XIRawEvent*>(e->xcookie.data);
    if (raw->flags & XIKeyRepeat)
        return;
    const KeySym sym = XkbKeycodeToKeysym(m_monitorConnection->display(), KeyCode(raw->detail), 0, 0);
    if (IsModifierKey(sym))
        return;
    const KeyDownEvent event{sym == XK_Escape};
    // A callback may remove monitors: walk a copy of the handles.
    std::vector<int> handles;
    for (const auto& [h, m] : m_monitors)
        if (raw->time > m.after)
            handles.push_back(h);
    for (int h : handles) {
        auto it = m_monitors.find(h);
        if (it != m_monitors.end()) {
            auto callback = it->second.callback;
            callback(event);
        }
    }
}
