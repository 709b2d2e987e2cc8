#pragma once
// The tray item's menu, top to bottom: active mode, dictation toggle, cancel, copy of the last
// dictation, retry of a failed one (while its error stands), recent dictations, modes, prompts for the selection, automatic per-application
// modes, then window, settings, updates and quit. It follows the controller, the records and
// the settings as they change; it holds no state of its own beyond what it shows.
#include <QMenu>
#include <QObject>
#include <QPointer>

class MacDictationController;
class Pasteboard;
class QAction;
class RecordStore;
class Settings;

class TrayMenu : public QObject
{
    Q_OBJECT
public:
    static constexpr int kRecentCount = 5;

    struct Dependencies
    {
        MacDictationController& controller;
        RecordStore& store;
        Settings& settings;
        Pasteboard& pasteboard;
        // Shared with the window's menu bar: disabled while no check is possible.
        QAction& checkForUpdates;
    };

    explicit TrayMenu(Dependencies dependencies, QObject* parent = nullptr);
    ~TrayMenu() override;

    QMenu* menu() { return &m_menu; }
    // "Mode actif : …" text for a mode name.
    static QString activeModeText(const QString& name);

Q_SIGNALS:
    void openWindowRequested();
    void openSettingsRequested();
    void quitRequested();

private:
    void refreshState();
    void refreshActiveMode();
    void refreshRecent();
    void refreshModes();
    void refreshPrompts();
    void refreshPowerMode();
    void toggleDictation();
    void onStoreChanged(const QString& table);
    void onSettingChanged(const QString& key);

    Dependencies m_d;
    QMenu m_menu;
    QAction* m_activeMode = nullptr;
    QAction* m_toggle = nullptr;
    QAction* m_cancel = nullptr;
    QAction* m_copyLast = nullptr;
    QAction* m_retry = nullptr;
    QMenu* m_recent = nullptr;
    QMenu* m_modes = nullptr;
    QMenu* m_prompts = nullptr;
    QAction* m_powerMode = nullptr;
};
