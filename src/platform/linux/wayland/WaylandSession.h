#pragma once
// What this Wayland session offers: the desktop announced by the session and the protocols
// (with their versions) the compositor advertises that the dictation can use.
#include <QString>
#include <QStringList>

class WaylandConnection;

class WaylandSession
{
public:
    // connection may be null (nobody listening on $WAYLAND_DISPLAY).
    explicit WaylandSession(const WaylandConnection* connection);

    // $XDG_CURRENT_DESKTOP, else "inconnu".
    QString desktop() const { return m_desktop; }
    bool hasVirtualKeyboard() const { return m_virtualKeyboard > 0; }
    // Version 2 carries the primary selection too.
    bool hasDataControl() const { return m_dataControl > 0; }
    bool hasForeignToplevel() const { return m_foreignToplevel > 0; }
    // One line for the journal: the desktop and each useful protocol with its version.
    QString summary() const;

private:
    QString m_desktop;
    bool m_connected = false;
    uint32_t m_virtualKeyboard = 0;
    uint32_t m_dataControl = 0;
    uint32_t m_foreignToplevel = 0;
    uint32_t m_seat = 0;
};
