#pragma once
// Named global shortcuts with separate key-down and key-up actions: each name with a key
// combination is grabbed from the desktop; a combination another program holds is reported
// (journal line and signal) while the other shortcuts keep working.
#include "ShortcutBindings.h"

#include <QHash>
#include <QObject>
#include <functional>

class DebugLog;
class KeyGrabber;

class ShortcutRegistry : public QObject
{
    Q_OBJECT
public:
    ShortcutRegistry(KeyGrabber& grabber, ShortcutBindings& bindings, DebugLog& log, QObject* parent = nullptr);
    ~ShortcutRegistry() override;

    // Actions run on the main thread; registering the first action of a name grabs its keys.
    void onKeyDown(const QString& name, std::function<void()> action);
    void onKeyUp(const QString& name, std::function<void()> action);
    // Grabs again after the combination of a name changed, or to retry a refused one.
    void rebind(const QString& name);
    // Forgets a name: its keys are released and its actions dropped.
    void remove(const QString& name);
    bool isActive(const QString& name) const;
    QStringList names() const { return m_entries.keys(); }

Q_SIGNALS:
    // message names the combination, e.g. "Le raccourci Alt+Super+D est déjà pris par un autre programme."
    void shortcutUnavailable(const QString& name, const QString& message);

private:
    struct Entry
    {
        std::function<void()> down;
        std::function<void()> up;
        std::optional<KeyCombo> grabbed;
        std::optional<KeyCombo> refused; // already reported: the key-up action does not ask again
    };
    void grab(const QString& name);
    void grabUnlessRefused(const QString& name);
    void fire(const QString& name, bool down);
    // The desktop took every grab back.
    void lost(const QString& message);

    KeyGrabber& m_grabber;
    ShortcutBindings& m_bindings;
    DebugLog& m_log;
    QHash<QString, Entry> m_entries;
};
