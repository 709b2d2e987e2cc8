#include "DesktopControl.h"

#include "dictation/MacPrimaryShortcutHandler.h"
#include "helper/MacHelperReceiver.h"

DesktopControl::DesktopControl(MacPrimaryShortcutHandler& handler, MacHelperReceiver& helper, ShowWindow showWindow)
    : m_handler(handler), m_helper(helper), m_showWindow(std::move(showWindow))
{
}

Expected<void, QString> DesktopControl::toggle()
{
    m_handler.toggleRequested();
    return {};
}

Expected<void, QString> DesktopControl::pushToTalk(bool pressed)
{
    if (pressed)
        m_handler.pushToTalkKeyDown();
    else
        m_handler.pushToTalkKeyUp();
    return {};
}

Expected<void, QString> DesktopControl::cancel()
{
    m_handler.cancelRequested();
    return {};
}

Expected<void, QString> DesktopControl::transform()
{
    m_handler.transformSelectionKeyUp();
    return {};
}

Expected<void, QString> DesktopControl::showWindow(const QString& section)
{
    std::optional<MacSection> wanted;
    if (!section.isEmpty()) {
        for (MacSection s : allSections())
            if (sectionKey(s) == section)
                wanted = s;
        if (!wanted) {
            QStringList keys;
            for (MacSection s : allSections())
                keys << sectionKey(s);
            return unexpected(QStringLiteral("Section inconnue : %1 (sections : %2)").arg(section, keys.join(QStringLiteral(", "))));
        }
    }
    m_showWindow(wanted);
    return {};
}

qint64 DesktopControl::pairingSecondsLeft() const
{
    const auto until = m_helper.pairingUntil();
    if (!until)
        return 0;
    // Rounded up: a window with 119.4 s left shows 120, and 0 only once it is over.
    const qint64 ms = QDateTime::currentDateTimeUtc().msecsTo(*until);
    return ms <= 0 ? 0 : (ms + 999) / 1000;
}

Expected<RemoteHelperStatus, QString> DesktopControl::helperStatus()
{
    RemoteHelperStatus s;
    s.enabled = m_helper.isEnabled();
    s.running = m_helper.isRunning();
    s.advertised = m_helper.isAdvertised();
    s.autoPaste = m_helper.autoPaste();
    s.port = m_helper.port();
    s.name = m_helper.helperName();
    const qint64 left = pairingSecondsLeft();
    if (m_helper.pairingCode() && left > 0) {
        s.pairingCode = *m_helper.pairingCode();
        s.pairingSecondsLeft = left;
    }
    for (const HelperPairedPhone& phone : m_helper.pairedPhones())
        s.phones << phone.name;
    if (const auto last = m_helper.lastReceived()) {
        s.lastReceivedDate = last->date;
        s.lastReceivedFrom = last->deviceName;
        s.lastReceivedDelivery = last->deliveryText();
    }
    return s;
}

Expected<void, QString> DesktopControl::setHelperEnabled(bool enabled)
{
    m_helper.setEnabled(enabled);
    return {};
}

Expected<RemotePairingCode, QString> DesktopControl::startHelperPairing()
{
    m_helper.startPairing();
    const auto code = m_helper.pairingCode();
    if (!code)
        return unexpected(QStringLiteral("Impossible de créer un code d'association (générateur aléatoire indisponible)."));
    return RemotePairingCode{*code, pairingSecondsLeft()};
}
