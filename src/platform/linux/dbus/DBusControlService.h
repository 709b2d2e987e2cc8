#pragma once
// Offers the running application's RemoteControl on the session bus under "app.ovra.Ovra", so
// that `ovra toggle` and the others (and compositor key bindings) reach it. Each method answers
// with the control's refusal message as a D-Bus error.
#include "platform/RemoteControl.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>
#include <QVariantMap>

class DBusControlService : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "app.ovra.Ovra")
public:
    explicit DBusControlService(RemoteControl& control, QDBusConnection bus = QDBusConnection::sessionBus(),
                                QObject* parent = nullptr);
    ~DBusControlService() override;

    // Exports the object and takes the bus name; the reason when either is impossible.
    Expected<void, QString> publish();

public Q_SLOTS:
    void Toggle();
    void PushToTalkPress();
    void PushToTalkRelease();
    void Cancel();
    void Transform();
    void ShowWindow(const QString& section);
    QVariantMap HelperStatus();
    void HelperEnable();
    void HelperDisable();
    QVariantMap HelperStartPairing();

private:
    void answer(const Expected<void, QString>& result);

    RemoteControl& m_control;
    QDBusConnection m_bus;
    bool m_published = false;
};
