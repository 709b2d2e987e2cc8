#include "MacPrimaryShortcutHandler.h"

#include "AppModeSelector.h"
#include "ShortcutBindings.h"
#include "ShortcutRegistry.h"
#include "platform/GlobalKeyboard.h"
#include "store/AppSettingsKeys.h"
#include "store/DebugLog.h"
#include "store/Settings.h"

#include <QCoroSignal>
#include <QPointer>
#include <QTimer>

// Completion of the start launched by a shortcut, which the stop and cancel tasks wait for.
class MacPrimaryShortcutHandler::PendingStart : public QObject
{
    Q_OBJECT
public:
    bool done = false;
Q_SIGNALS:
    void finished();
};

MacPrimaryShortcutHandler::MacPrimaryShortcutHandler(Settings& settings, DebugLog& log, KeyMonitor& monitor,
                                                     ModeLookup modes, UptimeClock clock, QObject* parent)
    : QObject(parent), m_settings(settings), m_log(log), m_monitor(monitor), m_modes(std::move(modes)),
      m_clock(std::move(clock))
{
}

MacPrimaryShortcutHandler::~MacPrimaryShortcutHandler()
{
    removeInterruptionMonitors();
    removeEscapeMonitors();
}

void MacPrimaryShortcutHandler::registerActions(ShortcutRegistry& registry, const QList<QUuid>& modeIDs)
{
    registry.onKeyDown(ShortcutName::toggleDictation, [this] { primaryKeyDown(); });
    registry.onKeyUp(ShortcutName::toggleDictation, [this] { primaryKeyUp(); });
    registry.onKeyUp(ShortcutName::transformSelection, [this] { transformSelectionKeyUp(); });
    registry.onKeyDown(ShortcutName::pushToTalk, [this] { pushToTalkKeyDown(); });
    registry.onKeyUp(ShortcutName::pushToTalk, [this] { pushToTalkKeyUp(); });
    for (const QUuid& id : modeIDs)
        registerModeShortcut(registry, id);
}

void MacPrimaryShortcutHandler::registerModeShortcut(ShortcutRegistry& registry, const QUuid& modeID)
{
    if (m_registeredModes.contains(modeID))
        return;
    registry.onKeyDown(ShortcutName::forMode(modeID), [this, modeID] { modeShortcutKeyDown(modeID); });
    m_registeredModes.insert(modeID);
}

void MacPrimaryShortcutHandler::unregisterModeShortcut(ShortcutRegistry& registry, const QUuid& modeID)
{
    if (m_registeredModes.remove(modeID))
        registry.remove(ShortcutName::forMode(modeID));
}

MacPrimaryShortcutMode MacPrimaryShortcutHandler::primaryMode() const
{
    return PrimaryShortcutMode::fromRaw(m_settings.stringValue(AppSettingsKey::primaryShortcutMode).value_or(QString()));
}

bool MacPrimaryShortcutHandler::idleOrFinished() const
{
    const RecordingState s = m_dictation->state();
    return s == RecordingState::idle || s == RecordingState::finished;
}

void MacPrimaryShortcutHandler::primaryKeyDown()
{
    if (!m_dictation || m_isPressed)
        return;
    m_isPressed = true;
    m_pressStart = m_clock();
    if (primaryMode() != MacPrimaryShortcutMode::pushToTalk && m_dictation->state() == RecordingState::recording) {
        stopTask();
        return;
    }
    startRequest();
}

void MacPrimaryShortcutHandler::primaryKeyUp()
{
    m_isPressed = false;
    removeInterruptionMonitors();
    const bool held = m_pressStart && m_clock() - *m_pressStart >= hybridThreshold;
    switch (primaryMode()) {
    case MacPrimaryShortcutMode::toggle:
        break;
    case MacPrimaryShortcutMode::pushToTalk:
        stopTask();
        break;
    case MacPrimaryShortcutMode::hybrid:
        if (held)
            stopTask();
        break;
    }
}

void MacPrimaryShortcutHandler::pushToTalkKeyDown()
{
    if (m_pttPressed)
        return;
    m_pttPressed = true;
    startRequest();
}

void MacPrimaryShortcutHandler::pushToTalkKeyUp()
{
    m_pttPressed = false;
    removeInterruptionMonitors();
    stopTask();
}

void MacPrimaryShortcutHandler::toggleRequested()
{
    if (!m_dictation)
        return;
    if (m_dictation->state() == RecordingState::recording || (m_startTask && !m_startTask->done)) {
        stopTask();
        return;
    }
    startRequest();
    // No key is held, so no other key press can mean "I did not want to dictate".
    removeInterruptionMonitors();
}

void MacPrimaryShortcutHandler::cancelRequested()
{
    if (m_dictation)
        cancelTask();
}

void MacPrimaryShortcutHandler::startRequest()
{
    if (!m_dictation || !idleOrFinished())
        return;
    const double now = m_clock();
    if (m_hasStarted && now - m_lastStart < cooldown)
        return;
    m_lastStart = now;
    m_hasStarted = true;
    if (m_appModes)
        m_appModes->applyFrontmost();
    m_startTask = std::make_shared<PendingStart>();
    startTask(m_startTask);
    installInterruptionMonitors();
}

QCoro::Task<> MacPrimaryShortcutHandler::startTask(std::shared_ptr<PendingStart> pending)
{
    if (m_dictation)
        co_await m_dictation->start(DictationTrigger::hotkey);
    pending->done = true;
    Q_EMIT pending->finished();
}

QCoro::Task<> MacPrimaryShortcutHandler::waitForStart(std::shared_ptr<PendingStart> pending)
{
    if (pending && !pending->done)
        co_await qCoro(pending.get(), &PendingStart::finished);
}

QCoro::Task<> MacPrimaryShortcutHandler::stopTask()
{
    QPointer<MacPrimaryShortcutHandler> self(this);
    co_await waitForStart(m_startTask);
    if (self && self->m_dictation && self->m_dictation->state() == RecordingState::recording)
        co_await self->m_dictation->stop();
}

QCoro::Task<> MacPrimaryShortcutHandler::cancelTask()
{
    QPointer<MacPrimaryShortcutHandler> self(this);
    co_await waitForStart(m_startTask);
    if (self && self->m_dictation)
        self->m_dictation->cancel();
}

void MacPrimaryShortcutHandler::installInterruptionMonitors()
{
    removeInterruptionMonitors();
    m_interruptionDeadline = m_clock() + interruptionWindow;
    // X11 raw key events reach us for keys typed in our own windows too, so one monitor stands
    // for both the global and the local one.
    const int handle = m_monitor.addKeyDownMonitor([this](const KeyDownEvent&) { onInterruptionKey(); });
    if (handle != 0)
        m_interruptionMonitors.append(handle);
}

void MacPrimaryShortcutHandler::removeInterruptionMonitors()
{
    for (int handle : std::as_const(m_interruptionMonitors))
        m_monitor.removeMonitor(handle);
    m_interruptionMonitors.clear();
}

void MacPrimaryShortcutHandler::onInterruptionKey()
{
    if (m_clock() >= m_interruptionDeadline || !(m_isPressed || m_pttPressed))
        return;
    removeInterruptionMonitors();
    m_log.log(QStringLiteral("MAC raccourci : autre touche pendant le maintien → départ annulé"), QStringLiteral("FLOW"));
    cancelTask();
}

void MacPrimaryShortcutHandler::transformSelectionKeyUp()
{
    if (m_dictation)
        m_dictation->transformSelection(QString::fromUtf8(kTransformInstruction));
}

void MacPrimaryShortcutHandler::modeShortcutKeyDown(const QUuid& modeID)
{
    if (m_dictation)
        activateModeTask(modeID);
}

QCoro::Task<> MacPrimaryShortcutHandler::activateModeTask(QUuid modeID)
{
    const std::optional<TranscriptionMode> mode = m_modes ? m_modes(modeID) : std::nullopt;
    if (!mode || !m_dictation)
        co_return;
    m_dictation->setActiveMode(*mode);
    // In recording, the new mode applies to the recording under way (resolved at stop).
    if (idleOrFinished())
        co_await m_dictation->start(DictationTrigger::hotkey);
}

void MacPrimaryShortcutHandler::installEscapeMonitors()
{
    removeEscapeMonitors();
    const int handle = m_monitor.addKeyDownMonitor([this](const KeyDownEvent& e) {
        if (!e.isEscape)
            return;
        QTimer::singleShot(0, this, [this] {
            if (m_dictation)
                m_dictation->cancel();
        });
    });
    if (handle != 0)
        m_escapeMonitors.append(handle);
}

void MacPrimaryShortcutHandler::removeEscapeMonitors()
{
    for (int handle : std::as_const(m_escapeMonitors))
        m_monitor.removeMonitor(handle);
    m_escapeMonitors.clear();
}

#include "MacPrimaryShortcutHandler.moc"
