#include "AvahiServiceBrowser.h"

#include <QCoroDBusPendingCall>
#include <QCoroSignal>
#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QPointer>

namespace {
const QString kService = QStringLiteral("org.freedesktop.Avahi");
const QString kServer = QStringLiteral("org.freedesktop.Avahi.Server");
const QString kBrowser = QStringLiteral("org.freedesktop.Avahi.ServiceBrowser");
constexpr int kUnspecified = -1;
constexpr int kInet = 0;
constexpr int kTimeoutMs = 5000;
const QStringList kMembers{QStringLiteral("ItemNew"), QStringLiteral("AllForNow"), QStringLiteral("Failure")};
} // namespace

AvahiServiceBrowser::AvahiServiceBrowser(QDBusConnection bus, QObject* parent) : QObject(parent), m_bus(std::move(bus))
{
    qDBusRegisterMetaType<QList<QByteArray>>();
}

bool AvahiServiceBrowser::subscribe(const QString& member)
{
    // Any path: the browser's own is known only once it exists.
    return m_bus.connect(kService, QString(), kBrowser, member, this, SLOT(onBrowserSignal(QDBusMessage)));
}

void AvahiServiceBrowser::unsubscribe(const QString& member)
{
    m_bus.disconnect(kService, QString(), kBrowser, member, this, SLOT(onBrowserSignal(QDBusMessage)));
}

void AvahiServiceBrowser::onBrowserSignal(const QDBusMessage& message)
{
    if (m_path.isEmpty())
        m_early.append(message);
    else
        take(message);
}

void AvahiServiceBrowser::take(const QDBusMessage& message)
{
    if (message.path() != m_path)
        return;
    const QVariantList args = message.arguments();
    if (message.member() == QLatin1String("ItemNew") && args.size() >= 5) {
        Item item{args[0].toInt(), args[1].toInt(), args[2].toString(), args[3].toString(), args[4].toString()};
        const bool known = std::any_of(m_items.begin(), m_items.end(), [&](const Item& i) {
            return i.name == item.name && i.type == item.type && i.domain == item.domain;
        });
        if (!known)
            m_items.append(item);
    } else if (message.member() == QLatin1String("AllForNow")) {
        m_allForNow = true;
    } else if (message.member() == QLatin1String("Failure")) {
        m_failure = args.value(0).toString();
    }
    Q_EMIT browserEvent();
}

QCoro::Task<Expected<QList<FoundService>, QString>> AvahiServiceBrowser::browse(QString type,
                                                                                std::chrono::milliseconds wait)
{
    if (!m_bus.isConnected())
        co_return unexpected(QStringLiteral("pas de bus système, donc pas de démon Avahi"));
    m_early.clear();
    m_path.clear();
    m_items.clear();
    m_allForNow = false;
    m_failure.clear();
    for (const QString& member : kMembers)
        subscribe(member);

    QDBusMessage create = QDBusMessage::createMethodCall(kService, QStringLiteral("/"), kServer,
                                                         QStringLiteral("ServiceBrowserNew"));
    create.setArguments({kUnspecified, kInet, type, QString(), 0u});
    // Every call is made before its co_await: GCC 12 mishandles temporaries in co_await operands.
    QDBusPendingCall created = m_bus.asyncCall(create, kTimeoutMs);
    const QDBusMessage reply = co_await created;
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        for (const QString& member : kMembers)
            unsubscribe(member);
        co_return unexpected(QStringLiteral("Avahi ne répond pas : ") + reply.errorMessage());
    }
    m_path = reply.arguments().first().value<QDBusObjectPath>().path();
    const QList<QDBusMessage> early = std::exchange(m_early, {});
    for (const QDBusMessage& m : early)
        take(m);

    QPointer<AvahiServiceBrowser> self(this);
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (self && !m_allForNow && m_failure.isEmpty()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        co_await qCoro(this, &AvahiServiceBrowser::browserEvent, left);
    }
    if (!self)
        co_return QList<FoundService>{};
    for (const QString& member : kMembers)
        unsubscribe(member);
    m_bus.asyncCall(QDBusMessage::createMethodCall(kService, m_path, kBrowser, QStringLiteral("Free")));
    if (!m_failure.isEmpty())
        co_return unexpected(QStringLiteral("Avahi : ") + m_failure);

    QList<FoundService> found;
    const QList<Item> items = m_items;
    for (const Item& item : items) {
        QDBusMessage resolve = QDBusMessage::createMethodCall(kService, QStringLiteral("/"), kServer,
                                                              QStringLiteral("ResolveService"));
        resolve.setArguments({item.interface, item.protocol, item.name, item.type, item.domain, kInet, 0u});
        QDBusPendingCall resolving = m_bus.asyncCall(resolve, kTimeoutMs);
        const QDBusMessage r = co_await resolving;
        // A service that went away meanwhile, or does not answer, is left out.
        if (r.type() != QDBusMessage::ReplyMessage || r.arguments().size() < 10)
            continue;
        FoundService s;
        s.name = r.arguments().at(2).toString();
        s.address = r.arguments().at(7).toString();
        s.port = r.arguments().at(8).value<quint16>();
        for (const QByteArray& entry : qdbus_cast<QList<QByteArray>>(r.arguments().at(9))) {
            const qsizetype eq = entry.indexOf('=');
            if (eq > 0)
                s.txt.insert(QString::fromUtf8(entry.left(eq)), entry.mid(eq + 1));
            else if (!entry.isEmpty())
                s.txt.insert(QString::fromUtf8(entry), QByteArray());
        }
        found.append(s);
    }
    co_return found;
}
