#pragma once
// System-wide key combinations (grabbed: the focused application never sees them) and key-down
// monitors (observe every key press without consuming it).
#include "KeyCombo.h"
#include "store/Expected.h"

#include <functional>

class KeyGrabber
{
public:
    virtual ~KeyGrabber() = default;
    virtual bool isAvailable() const = 0;
    // Error: the user-facing reason (another program holds the combination, no display...).
    virtual Expected<void, QString> grab(const KeyCombo& combo, std::function<void()> onDown,
                                         std::function<void()> onUp) = 0;
    // The same with the shortcut's name, for desktops that show it to the user (the portal's
    // dialog); grabbers that have no use for it grab the combination alone.
    virtual Expected<void, QString> grabNamed(const QString& name, const KeyCombo& combo, std::function<void()> onDown,
                                              std::function<void()> onUp)
    {
        Q_UNUSED(name);
        return grab(combo, std::move(onDown), std::move(onUp));
    }
    virtual void ungrab(const KeyCombo& combo) = 0;
    // Grabs the desktop takes back after grab() succeeded (its dialog refused, its service gone)
    // are reported here with the user-facing reason; grabbers that answer at once never call it.
    virtual void setLostHandler(std::function<void(const QString& message)> handler) { Q_UNUSED(handler); }
};

struct KeyDownEvent
{
    bool isEscape = false;
};

class KeyMonitor
{
public:
    virtual ~KeyMonitor() = default;
    // Calls back on the main thread for every key press (modifier keys and auto-repeat excluded)
    // that happens after the call. Returns a handle for removeMonitor; 0 when unavailable.
    virtual int addKeyDownMonitor(std::function<void(const KeyDownEvent&)> callback) = 0;
    virtual void removeMonitor(int handle) = 0;
};
