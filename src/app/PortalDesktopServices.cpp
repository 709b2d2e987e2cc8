#include "PortalDesktopServices.h"

#include "platform/linux/portal/PortalGlobalShortcuts.h"
#include "platform/linux/portal/PortalRequest.h"
#include "platform/linux/portal/RemoteDesktopKeySynthesizer.h"
#include "store/AppSettingsKeys.h"
#include "store/DebugLog.h"
#include "store/Settings.h"

#include <QCoreApplication>
#include <QCoroTask>
#include <QKeyEvent>

namespace {
// The combination of a key press as our shortcuts name it; none for keys they cannot name.
std::optional<KeyCombo> comboOf(const QKeyEvent& event)
{
    const quint32 sym = event.nativeVirtualKey();
    KeyCombo combo;
    if ((sym >= 'a' && sym <= 'z') || (sym >= '0' && sym <= '9'))
        combo.key = QString(QChar(char16_t(sym)));
    else if (sym >= 'A' && sym <= 'Z')
        combo.key = QString(QChar(char16_t(sym - 'A' + 'a')));
    else if (sym >= 0xffbe && sym <= 0xffe0) // XK_F1 … XK_F35
        combo.key = QStringLiteral("F") + QString::number(sym - 0xffbe + 1);
    else if (sym == ' ')
        combo.key = QStringLiteral("space");
    else
        return std::nullopt;
    const Qt::KeyboardModifiers m = event.modifiers();
    combo.modifiers = (m & Qt::ControlModifier ? KeyCombo::control : 0) | (m & Qt::ShiftModifier ? KeyCombo::shift : 0) |
                      (m & Qt::AltModifier ? KeyCombo::alt : 0) | (m & Qt::MetaModifier ? KeyCombo::super : 0);
    return combo;
}

// Key presses that reach our own windows, told to the portal's shortcuts.
class LocalKeyWatcher : public QObject
{
public:
    explicit LocalKeyWatcher(PortalGlobalShortcuts& shortcuts) : m_shortcuts(shortcuts) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(event);
            if (!key->isAutoRepeat())
                if (const auto combo = comboOf(*key))
                    m_shortcuts.noteLocalPress(*combo);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    PortalGlobalShortcuts& m_shortcuts;
};
} // namespace

PortalDesktopServices::PortalDesktopServices(DebugLog& log, Settings& settings, bool wantKeys)
{
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    const auto journal = [&log](const QString& line) { log.log(line); };
    m_shortcutsVersion = PortalRequest::interfaceVersion(bus, QStringLiteral("org.freedesktop.portal.GlobalShortcuts"));
    if (m_shortcutsVersion > 0) {
        m_shortcuts = std::make_unique<PortalGlobalShortcuts>(bus, qEnvironmentVariable("XDG_CURRENT_DESKTOP"), journal);
        if (QCoreApplication* app = QCoreApplication::instance()) {
            m_localKeys = std::make_unique<LocalKeyWatcher>(*m_shortcuts);
            app->installEventFilter(m_localKeys.get());
        }
    }
    m_keysVersion = PortalRequest::interfaceVersion(bus, QStringLiteral("org.freedesktop.portal.RemoteDesktop"));
    if (m_keysVersion > 0 && wantKeys) {
        const QString key = AppSettingsKey::remoteDesktopRestoreToken;
        m_keys = std::make_unique<RemoteDesktopKeySynthesizer>(
            bus,
            RemoteDesktopKeySynthesizer::TokenStore{
                [&settings, key] { return settings.stringValue(key, QString()); },
                [&settings, key](const QString& token) {
                    if (token.isEmpty())
                        settings.remove(key);
                    else
                        settings.setValue(key, token);
                }},
            journal);
        // The portal may show its dialog now; the first paste does not wait for it.
        QCoro::connect(m_keys->start(), m_keys.get(), [](const auto&) {});
    }
}

PortalDesktopServices::~PortalDesktopServices() = default;

KeyGrabber* PortalDesktopServices::shortcuts() { return m_shortcuts.get(); }

std::function<void()> PortalDesktopServices::shortcutsConfigurator()
{
    if (!m_shortcuts)
        return {};
    return [this] { m_shortcuts->configure(m_shortcutsVersion); };
}

KeySynthesizer* PortalDesktopServices::keys() { return m_keys.get(); }

QString PortalDesktopServices::shortcutsStatus() const
{
    if (!m_shortcuts)
        return {};
    return m_shortcuts->status() + QStringLiteral(" v") + QString::number(m_shortcutsVersion);
}

QString PortalDesktopServices::keysStatus() const
{
    if (!m_keys)
        return {};
    if (!m_keys->problem().isEmpty())
        return m_keys->problem();
    return QStringLiteral("clavier du portail RemoteDesktop v") + QString::number(m_keysVersion) +
           (m_keys->isTrusted() ? QString() : QStringLiteral(" (en attente de l'accord de l'utilisateur)"));
}
