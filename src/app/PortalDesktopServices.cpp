#include "PortalDesktopServices.h"

#include "platform/linux/portal/PortalGlobalShortcuts.h"
#include "platform/linux/portal/PortalRequest.h"
#include "platform/linux/portal/RemoteDesktopKeySynthesizer.h"
#include "store/AppSettingsKeys.h"
#include "store/DebugLog.h"
#include "store/Settings.h"

#include <QCoroTask>

PortalDesktopServices::PortalDesktopServices(DebugLog& log, Settings& settings, bool wantKeys)
{
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    const auto journal = [&log](const QString& line) { log.log(line); };
    m_shortcutsVersion = PortalRequest::interfaceVersion(bus, QStringLiteral("org.freedesktop.portal.GlobalShortcuts"));
    if (m_shortcutsVersion > 0)
        m_shortcuts = std::make_unique<PortalGlobalShortcuts>(bus, qEnvironmentVariable("XDG_CURRENT_DESKTOP"), journal);
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
