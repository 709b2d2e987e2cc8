#pragma once
// The tray item (StatusNotifierItem with its D-Bus menu where a panel hosts them, XEmbed
// otherwise): microphone icon, or record icon for exactly the recording state, and the menu.
#include <QObject>
#include <QSystemTrayIcon>

class MacDictationController;
class TrayMenu;

class TrayItem : public QObject
{
    Q_OBJECT
public:
    TrayItem(MacDictationController& controller, TrayMenu& menu, QObject* parent = nullptr);

    // A panel hosts tray items right now.
    static bool isHostAvailable() { return QSystemTrayIcon::isSystemTrayAvailable(); }
    void show() { m_icon.show(); }
    QString iconName() const { return m_iconName; }
    QSystemTrayIcon& icon() { return m_icon; }

Q_SIGNALS:
    // A plain click on the item.
    void activated();

private:
    void refresh();

    MacDictationController& m_controller;
    QSystemTrayIcon m_icon;
    QString m_iconName;
};
