#pragma once
// The focused application from the window manager's _NET_ACTIVE_WINDOW (or the input focus
// when no window manager runs); its identifier is the window's desktop entry id when the
// toolkit publishes one, otherwise its WM_CLASS class in lower case.
#include "platform/FrontmostApplication.h"

class X11Connection;

class X11FrontmostApplication : public FrontmostApplication
{
public:
    // connection may be null: unavailable.
    explicit X11FrontmostApplication(X11Connection* connection);
    bool isAvailable() const override { return m_connection != nullptr; }
    QString frontmostApplicationId() override;
    void setActivationHandler(std::function<void(const QString&)> handler) override;
    // The focused top-level window (or input focus); 0 when there is none.
    unsigned long activeWindow();

private:
    QString applicationIdOf(unsigned long window);
    QString stringProperty(unsigned long window, unsigned long property);

    X11Connection* m_connection;
    std::function<void(const QString&)> m_handler;
    QString m_lastReported;
    unsigned long m_netActiveWindow = 0;
    unsigned long m_gtkApplicationId = 0;
    unsigned long m_kdeDesktopFile = 0;
};
