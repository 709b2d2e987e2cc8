#pragma once
// Global shortcuts as passive key grabs on the root window (one per lock-modifier state, with
// detectable auto-repeat so a held key sends one release), and key-down monitors built on
// XInput 2 raw events, which see every key press without taking it from its window.
#include "platform/GlobalKeyboard.h"

#include <map>
#include <memory>
#include <vector>

class X11Connection;
union _XEvent;

class X11Keyboard : public KeyGrabber, public KeyMonitor
{
public:
    // connection may be null: nothing is available.
    explicit X11Keyboard(X11Connection* connection);
    ~X11Keyboard() override;

    bool isAvailable() const override { return m_connection != nullptr; }
    Expected<void, QString> grab(const KeyCombo& combo, std::function<void()> onDown,
                                 std::function<void()> onUp) override;
    void ungrab(const KeyCombo& combo) override;

    int addKeyDownMonitor(std::function<void(const KeyDownEvent&)> callback) override;
    void removeMonitor(int handle) override;
    bool monitorsAvailable() const { return m_xiOpcode >= 0; }

private:
    struct Grab
    {
        KeyCombo combo;
        unsigned int keycode = 0;
        unsigned int modifiers = 0;
        std::function<void()> onDown;
        std::function<void()> onUp;
        bool pressed = false;
    };
    struct Monitor
    {
        std::function<void(const KeyDownEvent&)> callback;
        unsigned long after = 0; // server time of the last key event seen when installed
    };

    std::vector<unsigned int> lockMaskCombinations() const;
    void grabKey(const Grab& g, bool on);
    void handle(_XEvent* event);
    void selectRawEvents(bool on);

    X11Connection* m_connection;
    std::unique_ptr<X11Connection> m_monitorConnection;
    std::vector<Grab> m_grabs;
    std::map<int, Monitor> m_monitors;
    int m_nextMonitor = 1;
    int m_xiOpcode = -1;
    unsigned long m_lastKeyTime = 0;
    unsigned int m_numLockMask = 0;
    unsigned int m_scrollLockMask = 0;
};
