#pragma once
// The desktop application without arguments: one instance per user, global shortcuts wired to
// the dictation controller, per-application modes, paste at the cursor, media pausing and
// sounds. The recorder panel is not drawn yet. State changes are printed on stdout.
class Services;

namespace DesktopApplication {
// Runs the event loop of the QGuiApplication already created; the exit code.
int run(Services& services);
} // namespace DesktopApplication
