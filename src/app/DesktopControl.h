#pragma once
// The running desktop application as other processes control it: the dictation commands go
// through the shortcut handler (as the global shortcuts do), the window and the phone receiver
// are the application's own.
#include "platform/RemoteControl.h"
#include "ui/MacSection.h"

#include <functional>
#include <optional>

class MacHelperReceiver;
class MacPrimaryShortcutHandler;

class DesktopControl : public RemoteControl
{
public:
    using ShowWindow = std::function<void(std::optional<MacSection>)>;

    DesktopControl(MacPrimaryShortcutHandler& handler, MacHelperReceiver& helper, ShowWindow showWindow);

    Expected<void, QString> toggle() override;
    Expected<void, QString> pushToTalk(bool pressed) override;
    Expected<void, QString> cancel() override;
    Expected<void, QString> transform() override;
    Expected<void, QString> showWindow(const QString& section) override;
    Expected<RemoteHelperStatus, QString> helperStatus() override;
    Expected<void, QString> setHelperEnabled(bool enabled) override;
    Expected<RemotePairingCode, QString> startHelperPairing() override;

private:
    qint64 pairingSecondsLeft() const;

    MacPrimaryShortcutHandler& m_handler;
    MacHelperReceiver& m_helper;
    ShowWindow m_showWindow;
};
