#pragma once
// DNS-SD browsing through the Avahi daemon's D-Bus API on the system bus: a ServiceBrowser for
// the type until Avahi says it has told all it knows, then one ResolveService per service.
#include "platform/ServiceBrowser.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>

class AvahiServiceBrowser : public QObject, public ServiceBrowser
{
    Q_OBJECT
public:
    explicit AvahiServiceBrowser(QDBusConnection bus = QDBusConnection::systemBus(), QObject* parent = nullptr);

    QCoro::Task<Expected<QList<FoundService>, QString>> browse(QString type, std::chrono::milliseconds wait) override;

Q_SIGNALS:
    void browserEvent();

private Q_SLOTS:
    void onBrowserSignal(const QDBusMessage& message);

private:
    struct Item
    {
        int interface = -1;
        int protocol = -1;
        QString name;
        QString type;
        QString domain;
    };
    bool subscribe(const QString& member);
    void unsubscribe(const QString& member);
    void take(const QDBusMessage& message);

    QDBusConnection m_bus;
    // Signals of every browser, kept until ours has a path: Avahi may send before it replies.
    QList<QDBusMessage> m_early;
    QString m_path;
    QList<Item> m_items;
    bool m_allForNow = false;
    QString m_failure;
};
