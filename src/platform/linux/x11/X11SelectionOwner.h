#pragma once
// X11: the PRIMARY selection belongs to the focused application when its owner window and the
// focused window were created by the same X client, or carry the same _NET_WM_PID or
// WM_CLIENT_LEADER (programs that hold several connections).
#include "platform/SelectionOwner.h"

class X11Connection;
class X11FrontmostApplication;

class X11SelectionOwner : public SelectionOwner
{
public:
    // connection may be null: nothing is owned by anyone.
    X11SelectionOwner(X11Connection* connection, X11FrontmostApplication& frontmost);
    bool selectionBelongsToFocusedApplication() override;

private:
    unsigned long cardinalProperty(unsigned long window, unsigned long property, unsigned long type);
    // The property on the window or its nearest ancestor below the root that has it; 0 if none.
    unsigned long inheritedProperty(unsigned long window, unsigned long property, unsigned long type);

    X11Connection* m_connection;
    X11FrontmostApplication& m_frontmost;
    unsigned long m_pid = 0;
    unsigned long m_clientLeader = 0;
};
