#pragma once
// The command line's way to the running application: RemoteControl over the session bus.
// Every call fails with a user-facing sentence when the application is not running.
#include "platform/RemoteControl.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <chrono>

class DBusControlClient : public RemoteControl
{
public:
    static QString notRunningMessage();

    explicit DBusControlClient(QDBusConnection bus = QDBusConnection::sessionBus(),
                               std::chrono::milliseconds timeout = std::chrono::seconds(10));

    // Whether the application holds its name on the bus, waiting up to timeout for it to appear
    // (an instance that is still starting). Needs a running event loop's application object.
    bool waitUntilRunning(std::chrono::milliseconds timeout);

    Expected<void, QString> toggle() override;
    Expected<void, QString> pushToTalk(bool pressed) override;
    Expected<void, QString> cancel() override;
    Expected<void, QString> transform() override;
    Expected<void, QString> showWindow(const QString& section) override;
    Expected<RemoteHelperStatus, QString> helperStatus() override;
    Expected<void, QString> setHelperEnabled(bool enabled) override;
    Expected<RemotePairingCode, QString> startHelperPairing() override;

private:
    Expected<QDBusMessage, QString> call(const QString& method, const QVariantList& args = {});
    Expected<void, QString> callVoid(const QString& method, const QVariantList& args = {});
    Expected<QVariantMap, QString> callMap(const QString& method);

    QDBusConnection m_bus;
    std::chrono::milliseconds m_timeout;
};
