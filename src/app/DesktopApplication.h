#pragma once
// The desktop application: the composition root of everything a desktop session adds to the
// shared services (tray item, main window, recorder panel, global shortcuts, delivery at the
// cursor, per-application modes, media pausing, sounds), created in launch order and destroyed
// in reverse. One instance per user; state changes are also printed on stdout.
#include "ui/MacSection.h"

#include <QObject>
#include <memory>
#include <optional>

class Services;

class DesktopApplication : public QObject
{
    Q_OBJECT
public:
    struct Options
    {
        // Started at login: tray only (the window still shows when no tray can host the item).
        bool hidden = false;
        // The section the window opens on.
        std::optional<MacSection> section;
    };

    // Runs the event loop of the QApplication already created; the exit code.
    static int run(Services& services, const Options& options);

    DesktopApplication(Services& services, const Options& options);
    ~DesktopApplication() override;

private:
    struct Parts;
    void launch();
    void showScenes();
    void wireShortcuts();
    void openWindow();
    void showWindow(std::optional<MacSection> section);
    // A second start while an instance runs: brings its window forward; the exit code.
    static int showRunningInstance(const Options& options);
    void openSettings();
    void onWindowClosed();
    void checkForUpdates();
    void showAbout();

    Services& m_services;
    Options m_options;
    std::unique_ptr<Parts> m_p;
};
