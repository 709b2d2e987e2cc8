#pragma once
// Launch at login through an XDG autostart entry: "$XDG_CONFIG_HOME/autostart/ovra.desktop"
// starting the program in the tray ("--hidden"). An entry the user disabled by hand
// (Hidden=true, X-GNOME-Autostart-enabled=false) counts as off.
#include "platform/LoginItem.h"

class XdgAutostartEntry : public LoginItem
{
public:
    // folder: the autostart folder ("" = $XDG_CONFIG_HOME/autostart); program: the command.
    explicit XdgAutostartEntry(QString folder = {}, QString program = {});

    QString path() const;
    bool isEnabled() const override;
    Expected<void, QString> setEnabled(bool enabled) override;
    // The entry's text for a program path.
    static QByteArray entry(const QString& program);

private:
    QString m_folder;
    QString m_program;
};
