#pragma once
// Which application the user is working in, and when that changes.
#include <QString>
#include <functional>

class FrontmostApplication
{
public:
    virtual ~FrontmostApplication() = default;
    // False when the desktop offers no way to know (no X server, Wayland without XWayland).
    virtual bool isAvailable() const = 0;
    // The application identifier of the focused window: its desktop entry id when known,
    // otherwise its window class in lower case; empty when there is none.
    virtual QString frontmostApplicationId() = 0;
    // Called on the main thread with the identifier of each application that becomes active.
    virtual void setActivationHandler(std::function<void(const QString& applicationId)> handler) = 0;
};
