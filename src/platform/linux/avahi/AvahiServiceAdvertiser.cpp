#include "AvahiServiceAdvertiser.h"

#include <QCoroDBusPendingCall>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QPointer>

namespace {
const QString kService = QStringLiteral("org.freedesktop.Avahi");
const QString kServer = QStringLiteral("org.freedesktop.Avahi.Server");
const QString kEntryGroup = QStringLiteral("org.freedesktop.Avahi.EntryGroup");
const QString kCollision = QStringLiteral("org.freedesktop.Avahi.CollisionError");
constexpr int kUnspecified = -1; // any interface, any protocol
constexpr int kTimeoutMs = 5000;
constexpr int kMaxRenames = 12;
// EntryGroup states.
constexpr int kEstablished = 2;
constexpr int kCollisionState = 3;
constexpr int kFailure = 4;
QList<QByteArray> txtStrings(const ServiceAdvertiser::TxtRecord& record)
{
    QList<QByteArray> txt;
    for (const auto& entry : record)
        txt.append(entry.first.toUtf8() + '=' + entry.second);
    return txt;
}

QVariantList addServiceArguments(const QString& name, const QString& type, quint16 port, const QList<QByteArray>& txt)
{
    return {kUnspecified, kUnspecified, 0u, name, type, QString(), QString(), QVariant::fromValue(port),
            QVariant::fromValue(txt)};
}

} // namespace

QDBusPendingCall AvahiServiceAdvertiser::call(const QString& path, const QString& interface, const QString& method,
                                              const QVariantList& args)
{
    QDBusMessage m = QDBusMessage::createMethodCall(kService, path, interface, method);
    m.setArguments(args);
    return m_bus.asyncCall(m, kTimeoutMs);
}

AvahiServiceAdvertiser::AvahiServiceAdvertiser(QDBusConnection bus, QObject* parent)
    : QObject(parent), m_bus(std::move(bus))
{
    qDBusRegisterMetaType<QList<QByteArray>>();
}

AvahiServiceAdvertiser::~AvahiServiceAdvertiser()
{
    if (!m_group.isEmpty())
        m_bus.asyncCall(QDBusMessage::createMethodCall(kService, m_group, kEntryGroup, QStringLiteral("Free")));
}

void AvahiServiceAdvertiser::publish(const QString& name, const QString& type, quint16 port, const TxtRecord& txt)
{
    m_wanted = Service{name, type, port, txt};
    m_renameFrom.clear();
    run(++m_generation);
}

void AvahiServiceAdvertiser::withdraw()
{
    m_wanted.reset();
    ++m_generation;
    if (!m_group.isEmpty())
        m_bus.asyncCall(QDBusMessage::createMethodCall(kService, m_group, kEntryGroup, QStringLiteral("Reset")));
}

void AvahiServiceAdvertiser::report(bool advertised, const QString& error)
{
    if (m_handler)
        m_handler(advertised, error);
}

QCoro::Task<> AvahiServiceAdvertiser::run(quint64 generation)
{
    // Every call is made before its co_await: GCC 12 mishandles temporaries in co_await operands.
    QPointer<AvahiServiceAdvertiser> self(this);
    if (!m_bus.isConnected()) {
        report(false, QStringLiteral("bus système D-Bus injoignable"));
        co_return;
    }
    if (m_group.isEmpty()) {
        QDBusPendingCall pending = call(QStringLiteral("/"), kServer, QStringLiteral("EntryGroupNew"), {});
        const QDBusMessage reply = co_await pending;
        if (!self)
            co_return;
        if (reply.type() == QDBusMessage::ErrorMessage || reply.arguments().isEmpty()) {
            if (generation == m_generation)
                report(false, reply.errorMessage().isEmpty() ? reply.errorName() : reply.errorMessage());
            co_return;
        }
        if (m_group.isEmpty()) {
            m_group = reply.arguments().first().value<QDBusObjectPath>().path();
            m_bus.connect(kService, m_group, kEntryGroup, QStringLiteral("StateChanged"), this,
                          SLOT(onStateChanged(int,QString)));
        }
    } else {
        QDBusPendingCall pending = call(m_group, kEntryGroup, QStringLiteral("Reset"), {});
        co_await pending;
        if (!self)
            co_return;
    }
    if (generation != m_generation || !m_wanted)
        co_return;

    const Service wanted = *m_wanted;
    const QList<QByteArray> txt = txtStrings(wanted.txt);
    QString name = m_renameFrom.isEmpty() ? wanted.name : m_renameFrom;
    for (int attempt = 0;; ++attempt) {
        if (attempt > 0 || !m_renameFrom.isEmpty()) {
            QDBusPendingCall pending =
                call(QStringLiteral("/"), kServer, QStringLiteral("GetAlternativeServiceName"), QVariantList{name});
            const QDBusMessage alt = co_await pending;
            if (!self || generation != m_generation)
                co_return;
            if (alt.type() == QDBusMessage::ErrorMessage || alt.arguments().isEmpty()) {
                report(false, alt.errorMessage());
                co_return;
            }
            name = alt.arguments().first().toString();
            m_renameFrom.clear();
        }
        QDBusPendingCall pending = call(m_group, kEntryGroup, QStringLiteral("AddService"),
                                        addServiceArguments(name, wanted.type, wanted.port, txt));
        const QDBusMessage added = co_await pending;
        if (!self || generation != m_generation)
            co_return;
        if (added.type() != QDBusMessage::ErrorMessage)
            break;
        if (added.errorName() != kCollision || attempt >= kMaxRenames) {
            report(false, added.errorMessage());
            co_return;
        }
    }
    QDBusPendingCall commit = call(m_group, kEntryGroup, QStringLiteral("Commit"), {});
    const QDBusMessage committed = co_await commit;
    if (!self || generation != m_generation)
        co_return;
    if (committed.type() == QDBusMessage::ErrorMessage) {
        report(false, committed.errorMessage());
        co_return;
    }
    m_publishedName = name;
    report(true, {});
}

void AvahiServiceAdvertiser::onStateChanged(int state, const QString& error)
{
    if (!m_wanted || state == kEstablished)
        return;
    if (state == kCollisionState) {
        // Another host took the name after we registered it: publish under the next name.
        m_renameFrom = m_publishedName.isEmpty() ? m_wanted->name : m_publishedName;
        run(++m_generation);
    } else if (state == kFailure) {
        report(false, error);
    }
}
