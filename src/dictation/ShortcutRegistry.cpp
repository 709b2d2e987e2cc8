#include "ShortcutRegistry.h"

#include "platform/GlobalKeyboard.h"
#include "store/DebugLog.h"

ShortcutRegistry::ShortcutRegistry(KeyGrabber& grabber, ShortcutBindings& bindings, DebugLog& log, QObject* parent)
    : QObject(parent), m_grabber(grabber), m_bindings(bindings), m_log(log)
{
    m_grabber.setLostHandler([this](const QString& message) { lost(message); });
}

ShortcutRegistry::~ShortcutRegistry()
{
    m_grabber.setLostHandler({});
    for (const Entry& e : std::as_const(m_entries))
        if (e.grabbed)
            m_grabber.ungrab(*e.grabbed);
}

void ShortcutRegistry::onKeyDown(const QString& name, std::function<void()> action)
{
    m_entries[name].down = std::move(action);
    grabUnlessRefused(name);
}

void ShortcutRegistry::onKeyUp(const QString& name, std::function<void()> action)
{
    m_entries[name].up = std::move(action);
    grabUnlessRefused(name);
}

void ShortcutRegistry::grabUnlessRefused(const QString& name)
{
    const Entry& entry = m_entries[name];
    if (!entry.refused || entry.refused != m_bindings.combination(name))
        grab(name);
}

void ShortcutRegistry::rebind(const QString& name)
{
    if (m_entries.contains(name)) {
        m_entries[name].refused.reset();
        grab(name);
    }
}

void ShortcutRegistry::remove(const QString& name)
{
    const auto it = m_entries.constFind(name);
    if (it == m_entries.cend())
        return;
    if (it->grabbed)
        m_grabber.ungrab(*it->grabbed);
    m_entries.erase(it);
}

bool ShortcutRegistry::isActive(const QString& name) const
{
    const auto it = m_entries.constFind(name);
    return it != m_entries.cend() && it->grabbed.has_value();
}

void ShortcutRegistry::grab(const QString& name)
{
    Entry& entry = m_entries[name];
    const std::optional<KeyCombo> combo = m_bindings.combination(name);
    if (entry.grabbed == combo)
        return;
    if (entry.grabbed)
        m_grabber.ungrab(*entry.grabbed);
    entry.grabbed.reset();
    entry.refused.reset();
    if (!combo)
        return;
    QString problem;
    for (auto it = m_entries.cbegin(); it != m_entries.cend() && problem.isEmpty(); ++it)
        if (it.key() != name && it->grabbed == combo)
            problem = QStringLiteral("Le raccourci ") + combo->displayText() + QStringLiteral(" sert déjà à ") +
                      it.key() + QStringLiteral(".");
    if (problem.isEmpty()) {
        const auto grabbed = m_grabber.grabNamed(
            name, *combo, [this, name] { fire(name, true); }, [this, name] { fire(name, false); });
        if (grabbed)
            entry.grabbed = combo;
        else
            problem = grabbed.error();
    }
    if (!problem.isEmpty()) {
        entry.refused = combo;
        m_log.log(QStringLiteral("MAC raccourci : ") + name + QStringLiteral(" indisponible — ") + problem);
        Q_EMIT shortcutUnavailable(name, problem);
    }
}

void ShortcutRegistry::lost(const QString& message)
{
    QStringList names;
    for (auto it = m_entries.begin(); it != m_entries.end(); ++it)
        if (it->grabbed) {
            it->refused = it->grabbed;
            it->grabbed.reset();
            names << it.key();
        }
    for (const QString& name : std::as_const(names)) {
        m_log.log(QStringLiteral("MAC raccourci : ") + name + QStringLiteral(" indisponible — ") + message);
        Q_EMIT shortcutUnavailable(name, message);
    }
}

void ShortcutRegistry::fire(const QString& name, bool down)
{
    const auto it = m_entries.constFind(name);
    if (it == m_entries.cend())
        return;
    // Copy: the action may register or rebind shortcuts.
    const std::function<void()> action = down ? it->down : it->up;
    if (action)
        action();
}
