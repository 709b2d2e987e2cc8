#pragma once
// Grabs and key monitors in memory: tests press shortcuts and keys by hand; combinations in
// takenByOthers fail as if another program held them.
#include "platform/GlobalKeyboard.h"

#include <QList>
#include <map>

class FakeGlobalKeyboard : public KeyGrabber, public KeyMonitor
{
public:
    struct Grab
    {
        KeyCombo combo;
        std::function<void()> down, up;
    };
    QList<KeyCombo> takenByOthers;
    QList<Grab> grabs;
    std::map<int, std::function<void(const KeyDownEvent&)>> monitors;
    int nextHandle = 1;
    std::function<void(const QString&)> lostHandler;

    bool isAvailable() const override { return true; }
    Expected<void, QString> grab(const KeyCombo& combo, std::function<void()> onDown, std::function<void()> onUp) override
    {
        if (takenByOthers.contains(combo))
            return unexpected(QStringLiteral("Le raccourci ") + combo.displayText() +
                              QStringLiteral(" est déjà pris par un autre programme."));
        grabs.append({combo, std::move(onDown), std::move(onUp)});
        return {};
    }
    void ungrab(const KeyCombo& combo) override
    {
        grabs.removeIf([&](const Grab& g) { return g.combo == combo; });
    }
    void setLostHandler(std::function<void(const QString&)> handler) override { lostHandler = std::move(handler); }
    // The desktop takes every grab back, as a portal whose dialog was refused.
    void loseAll(const QString& message)
    {
        grabs.clear();
        if (lostHandler)
            lostHandler(message);
    }
    bool isGrabbed(const QString& text) const
    {
        return std::any_of(grabs.begin(), grabs.end(), [&](const Grab& g) { return g.combo.toString() == text; });
    }
    void press(const QString& text, bool down)
    {
        for (const Grab& g : grabs)
            if (g.combo.toString() == text) {
                auto action = down ? g.down : g.up;
                if (action)
                    action();
                return;
            }
    }

    int addKeyDownMonitor(std::function<void(const KeyDownEvent&)> callback) override
    {
        monitors[nextHandle] = std::move(callback);
        return nextHandle++;
    }
    void removeMonitor(int handle) override { monitors.erase(handle); }
    void typeKey(bool escape = false)
    {
        auto copy = monitors;
        for (auto& [h, cb] : copy)
            if (monitors.count(h))
                cb(KeyDownEvent{escape});
    }
};
