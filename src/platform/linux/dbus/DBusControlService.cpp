#include "DBusControlService.h"

#include "DBusControlWire.h"

#include <QDBusConnectionInterface>

DBusControlService::DBusControlService(RemoteControl& control, QDBusConnection bus, QObject* parent)
    : QObject(parent), m_control(control), m_bus(std::move(bus))
{
}

DBusControlService::~DBusControlService()
{
    if (!m_published)
        return;
    m_bus.unregisterService(QString::fromLatin1(DBusControlWire::kService));
    m_bus.unregisterObject(QString::fromLatin1(DBusControlWire::kPath));
}

Expected<void, QString> DBusControlService::publish()
{
    if (!m_bus.isConnected())
        return unexpected(QStringLiteral("pas de bus de session D-Bus"));
    const QString path = QString::fromLatin1(DBusControlWire::kPath);
    if (!m_bus.registerObject(path, this, QDBusConnection::ExportAllSlots))
        return unexpected(QStringLiteral("objet %1 déjà exporté").arg(path));
    // Without queueing: a name held by someone else is an error now, not a silent wait.
    const auto reply = m_bus.interface()->registerService(QString::fromLatin1(DBusControlWire::kService),
                                                          QDBusConnectionInterface::DontQueueService,
                                                          QDBusConnectionInterface::DontAllowReplacement);
    if (!reply.isValid() || reply.value() != QDBusConnectionInterface::ServiceRegistered) {
        m_bus.unregisterObject(path);
        return unexpected(reply.isValid() ? QStringLiteral("le nom %1 est déjà pris").arg(QLatin1String(DBusControlWire::kService))
                                          : reply.error().message());
    }
    m_published = true;
    return {};
}

void DBusControlService::answer(const Expected<void, QString>& result)
{
    if (!result && calledFromDBus())
        sendErrorReply(QString::fromLatin1(DBusControlWire::kFailed), result.error());
}

void DBusControlService::Toggle() { answer(m_control.toggle()); }
void DBusControlService::PushToTalkPress() { answer(m_control.pushToTalk(true)); }
void DBusControlService::PushToTalkRelease() { answer(m_control.pushToTalk(false)); }
void DBusControlService::Cancel() { answer(m_control.cancel()); }
void DBusControlService::Transform() { answer(m_control.transform()); }
void DBusControlService::ShowWindow(const QString& section) { answer(m_control.showWindow(section)); }
void DBusControlService::HelperEnable() { answer(m_control.setHelperEnabled(true)); }
void DBusControlService::HelperDisable() { answer(m_control.setHelperEnabled(false)); }

QVariantMap DBusControlService::HelperStatus()
{
    const auto status = m_control.helperStatus();
    if (!status) {
        answer(unexpected(status.error()));
        return {};
    }
    return DBusControlWire::toMap(*status);
}

QVariantMap DBusControlService::HelperStartPairing()
{
    const auto code = m_control.startHelperPairing();
    if (!code) {
        answer(unexpected(code.error()));
        return {};
    }
    return DBusControlWire::toMap(*code);
}
