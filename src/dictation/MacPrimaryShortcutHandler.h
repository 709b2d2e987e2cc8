#pragma once
// Turns the global shortcuts' key-down / key-up events into start, stop, cancel and mode
// changes on the dictation controller: toggle, push-to-talk and hybrid behaviours, a cooldown
// between starts, and the interruption window in which another key press cancels the start.
#include "DictationControl.h"
#include "EscapeMonitors.h"
#include "MacPrimaryShortcutMode.h"
#include "UptimeClock.h"

#include <QCoroTask>
#include <QList>
#include <QObject>
#include <QSet>
#include <QUuid>
#include <memory>
#include <optional>

class AppModeSelector;
class DebugLog;
class KeyMonitor;
class Settings;
class ShortcutRegistry;

class MacPrimaryShortcutHandler : public QObject, public EscapeMonitors
{
    Q_OBJECT
public:
    static constexpr const char* kTransformInstruction =
        "Corrige l'orthographe, la grammaire et la ponctuation. Ne change ni le sens ni le ton.";
    // The mode with this id, if it still exists.
    using ModeLookup = std::function<std::optional<TranscriptionMode>(const QUuid&)>;

    MacPrimaryShortcutHandler(Settings& settings, DebugLog& log, KeyMonitor& monitor, ModeLookup modes,
                              UptimeClock clock = systemUptime, QObject* parent = nullptr);
    ~MacPrimaryShortcutHandler() override;

    // While no controller is attached every event is ignored. The controller must be detached
    // (null) before it is destroyed.
    void attach(DictationControl* dictation) { m_dictation = dictation; }
    void setAppModeSelector(AppModeSelector* selector) { m_appModes = selector; }

    // Registers the actions of the fixed shortcuts, then one per mode.
    void registerActions(ShortcutRegistry& registry, const QList<QUuid>& modeIDs);
    // Registers the shortcut of one mode, once per process.
    void registerModeShortcut(ShortcutRegistry& registry, const QUuid& modeID);
    // Releases the shortcut of a mode that is gone.
    void unregisterModeShortcut(ShortcutRegistry& registry, const QUuid& modeID);
    QSet<QUuid> registeredModes() const { return m_registeredModes; }

    MacPrimaryShortcutMode primaryMode() const;

    void primaryKeyDown();
    void primaryKeyUp();
    void pushToTalkKeyDown();
    void pushToTalkKeyUp();
    void transformSelectionKeyUp();
    // From a command (a compositor binding that only runs on key-down): starts or stops whatever
    // the primary shortcut's behaviour; cancel abandons what is being recorded.
    void toggleRequested();
    void cancelRequested();
    void modeShortcutKeyDown(const QUuid& modeID);

    // The Escape monitors the controller installs while it records.
    void install() override { installEscapeMonitors(); }
    void remove() override { removeEscapeMonitors(); }
    void installEscapeMonitors();
    void removeEscapeMonitors();

    // Tuning, seconds.
    double hybridThreshold = 0.5;
    double cooldown = 0.5;
    double interruptionWindow = 1.0;

private:
    class PendingStart;
    void startRequest();
    void installInterruptionMonitors();
    void removeInterruptionMonitors();
    void onInterruptionKey();
    QCoro::Task<> stopTask();
    QCoro::Task<> cancelTask();
    QCoro::Task<> startTask(std::shared_ptr<PendingStart> pending);
    QCoro::Task<> activateModeTask(QUuid modeID);
    static QCoro::Task<> waitForStart(std::shared_ptr<PendingStart> pending);
    bool idleOrFinished() const;

    Settings& m_settings;
    DebugLog& m_log;
    KeyMonitor& m_monitor;
    ModeLookup m_modes;
    UptimeClock m_clock;
    DictationControl* m_dictation = nullptr;
    AppModeSelector* m_appModes = nullptr;

    std::optional<double> m_pressStart;
    bool m_isPressed = false;
    bool m_pttPressed = false;
    double m_lastStart = 0;
    bool m_hasStarted = false;
    std::shared_ptr<PendingStart> m_startTask;
    QList<int> m_interruptionMonitors;
    double m_interruptionDeadline = 0;
    QList<int> m_escapeMonitors;
    QSet<QUuid> m_registeredModes;
};
