#pragma once
// DNS-SD advertisement through the Avahi daemon's D-Bus API on the system bus: one entry group
// holding our one service, renamed by Avahi's rule when another host has the name.
#include "platform/ServiceAdvertiser.h"

#include <QCoroTask>
#include <QDBusConnection>
#include <QDBusPendingCall>
#include <QObject>
#include <optional>

class AvahiServiceAdvertiser : public QObject, public ServiceAdvertiser
{
    Q_OBJECT
public:
    explicit AvahiServiceAdvertiser(QDBusConnection bus = QDBusConnection::systemBus(), QObject* parent = nullptr);
    ~AvahiServiceAdvertiser() override;

    void publish(const QString& name, const QString& type, quint16 port, const TxtRecord& txt) override;
    void withdraw() override;
    void setHandler(Handler handler) override { m_handler = std::move(handler); }
    // The name under which the service was last published (Avahi may have renamed it).
    QString publishedName() const { return m_publishedName; }

private Q_SLOTS:
    void onStateChanged(int state, const QString& error);

private:
    struct Service
    {
        QString name;
        QString type;
        quint16 port = 0;
        TxtRecord txt;
    };
    QCoro::Task<> run(quint64 generation);
    QDBusPendingCall call(const QString& path, const QString& interface, const QString& method, const QVariantList& args);
    void report(bool advertised, const QString& error);

    QDBusConnection m_bus;
    Handler m_handler;
    std::optional<Service> m_wanted;
    QString m_group;
    QString m_publishedName;
    // Set after a collision: the next publication asks Avahi for the name after this one.
    QString m_renameFrom;
    quint64 m_generation = 0;
};
