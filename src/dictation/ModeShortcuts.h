#pragma once
// Keeps one "powerMode-<UUID>" global shortcut per existing mode while the program runs: a mode
// added (window, command line, sync) gets its shortcut at once, a deleted one loses it, and a
// changed key combination is grabbed again.
#include <QObject>

class MacPrimaryShortcutHandler;
class RecordStore;
class Settings;
class ShortcutRegistry;

class ModeShortcuts : public QObject
{
    Q_OBJECT
public:
    ModeShortcuts(RecordStore& store, Settings& settings, MacPrimaryShortcutHandler& handler,
                  ShortcutRegistry& registry, QObject* parent = nullptr);

    // Registers the fixed actions and one shortcut per mode, then follows the changes.
    void wire();
    bool isWired() const { return m_wired; }

private:
    void syncModes();
    void rebindAll();

    RecordStore& m_store;
    Settings& m_settings;
    MacPrimaryShortcutHandler& m_handler;
    ShortcutRegistry& m_registry;
    bool m_wired = false;
};
