#include "TrayItem.h"

#include "AppIcons.h"
#include "TrayMenu.h"
#include "dictation/MacDictationController.h"

TrayItem::TrayItem(MacDictationController& controller, TrayMenu& menu, QObject* parent)
    : QObject(parent), m_controller(controller)
{
    m_icon.setContextMenu(menu.menu());
    m_icon.setToolTip(QStringLiteral("Ovra"));
    connect(&m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger)
            Q_EMIT activated();
    });
    connect(&m_controller, &MacDictationController::stateChanged, this, &TrayItem::refresh);
    refresh();
}

void TrayItem::refresh()
{
    const bool recording = m_controller.state() == RecordingState::recording;
    const QString name = AppIcons::trayIconName(recording);
    if (name == m_iconName)
        return;
    m_iconName = name;
    m_icon.setIcon(AppIcons::trayIcon(recording));
    m_icon.setToolTip(recording ? QStringLiteral("Ovra — dictée en cours") : QStringLiteral("Ovra"));
}
