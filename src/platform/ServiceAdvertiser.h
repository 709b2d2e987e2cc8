#pragma once
// Announces one network service on the local network (DNS-SD), so that phones find it.
#include <QByteArray>
#include <QList>
#include <QString>
#include <functional>
#include <utility>

class ServiceAdvertiser
{
public:
    using TxtRecord = QList<std::pair<QString, QByteArray>>;
    // advertised false comes with the reason (no daemon, name conflict, …).
    using Handler = std::function<void(bool advertised, const QString& error)>;
    virtual ~ServiceAdvertiser() = default;

    // Publishes the service, replacing what this advertiser published before.
    virtual void publish(const QString& name, const QString& type, quint16 port, const TxtRecord& txt) = 0;
    virtual void withdraw() = 0;
    // Called on the main thread after each publish() once the outcome is known.
    virtual void setHandler(Handler handler) = 0;
};
