#include "AtspiConnection.h"

#include <QCoroDBusPendingCall>
#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QtGlobal>

namespace {
const QString kAccessible = QStringLiteral("org.a11y.atspi.Accessible");
int remainingMs(QDeadlineTimer deadline) { return int(qMax<qint64>(1, deadline.remainingTime())); }
QString noBus()
{
    return QStringLiteral("bus d'accessibilité introuvable — AT-SPI ne tourne pas dans cette session "
                          "(paquet at-spi2-core)");
}
} // namespace

AtspiConnection::AtspiConnection(QString address)
    : m_fixedAddress(std::move(address)),
      m_name(QStringLiteral("ovra-atspi-%1").arg(quintptr(this), 0, 16)), m_bus(QString())
{
}

AtspiConnection::~AtspiConnection() { QDBusConnection::disconnectFromBus(m_name); }

bool AtspiConnection::isConnected() const { return m_bus.isConnected(); }

AccessibleRef AtspiConnection::registryRoot()
{
    return {QStringLiteral("org.a11y.atspi.Registry"), QStringLiteral("/org/a11y/atspi/accessible/root")};
}

Expected<void, QString> AtspiConnection::open(const QString& address)
{
    QDBusConnection::disconnectFromBus(m_name);
    m_bus = QDBusConnection::connectToBus(address, m_name);
    if (!m_bus.isConnected())
        return unexpected(QStringLiteral("connexion au bus d'accessibilité impossible : ") +
                          m_bus.lastError().message());
    return {};
}

namespace {
QDBusMessage addressRequest()
{
    return QDBusMessage::createMethodCall(QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
                                          QStringLiteral("org.a11y.Bus"), QStringLiteral("GetAddress"));
}
} // namespace

QCoro::Task<Expected<void, QString>> AtspiConnection::ensureConnected(QDeadlineTimer deadline)
{
    if (m_bus.isConnected())
        co_return {};
    if (!m_fixedAddress.isEmpty())
        co_return open(m_fixedAddress);
    QDBusConnection session = QDBusConnection::sessionBus();
    if (!session.isConnected())
        co_return unexpected(noBus());
    const QDBusMessage reply = co_await session.asyncCall(addressRequest(), remainingMs(deadline));
    const Expected<QString, QString> address = stringOf(reply);
    if (!address || address->isEmpty())
        co_return unexpected(noBus());
    co_return open(*address);
}

Expected<void, QString> AtspiConnection::ensureConnectedNow(int timeoutMs)
{
    if (m_bus.isConnected())
        return {};
    if (!m_fixedAddress.isEmpty())
        return open(m_fixedAddress);
    QDBusConnection session = QDBusConnection::sessionBus();
    if (!session.isConnected())
        return unexpected(noBus());
    const Expected<QString, QString> address = stringOf(session.call(addressRequest(), QDBus::Block, timeoutMs));
    if (!address || address->isEmpty())
        return unexpected(noBus());
    return open(*address);
}

QDBusPendingCall AtspiConnection::call(const AccessibleRef& object, const QString& interface, const QString& method,
                                       const QVariantList& args, QDeadlineTimer deadline) const
{
    QDBusMessage message = QDBusMessage::createMethodCall(object.service, object.path, interface, method);
    message.setArguments(args);
    return m_bus.asyncCall(message, remainingMs(deadline));
}

QDBusPendingCall AtspiConnection::children(const AccessibleRef& object, QDeadlineTimer deadline) const
{
    return call(object, kAccessible, QStringLiteral("GetChildren"), {}, deadline);
}

QDBusPendingCall AtspiConnection::role(const AccessibleRef& object, QDeadlineTimer deadline) const
{
    return call(object, kAccessible, QStringLiteral("GetRole"), {}, deadline);
}

QDBusPendingCall AtspiConnection::states(const AccessibleRef& object, QDeadlineTimer deadline) const
{
    return call(object, kAccessible, QStringLiteral("GetState"), {}, deadline);
}

QDBusPendingCall AtspiConnection::name(const AccessibleRef& object, QDeadlineTimer deadline) const
{
    return call(object, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"),
                {kAccessible, QStringLiteral("Name")}, deadline);
}

QDBusPendingCall AtspiConnection::interfaces(const AccessibleRef& object, QDeadlineTimer deadline) const
{
    // Never Introspect: Qt 6.4's bridge crashes on it for widget objects.
    return call(object, kAccessible, QStringLiteral("GetInterfaces"), {}, deadline);
}

QDBusPendingCall AtspiConnection::documentAttribute(const AccessibleRef& object, const QString& attribute,
                                                    QDeadlineTimer deadline) const
{
    return call(object, QStringLiteral("org.a11y.atspi.Document"), QStringLiteral("GetAttributeValue"), {attribute},
                deadline);
}

QDBusPendingCall AtspiConnection::text(const AccessibleRef& object, QDeadlineTimer deadline) const
{
    return call(object, QStringLiteral("org.a11y.atspi.Text"), QStringLiteral("GetText"), {0, -1}, deadline);
}

QDBusPendingCall AtspiConnection::processId(const QString& service, QDeadlineTimer deadline) const
{
    QDBusMessage message = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetConnectionUnixProcessID"));
    message.setArguments({service});
    return m_bus.asyncCall(message, remainingMs(deadline));
}

namespace {
Expected<QVariant, QString> firstArgument(const QDBusMessage& reply)
{
    if (reply.type() == QDBusMessage::ErrorMessage)
        return unexpected(reply.errorMessage().isEmpty() ? reply.errorName() : reply.errorMessage());
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return unexpected(QStringLiteral("réponse vide"));
    return reply.arguments().constFirst();
}
QString malformed() { return QStringLiteral("réponse mal formée"); }
} // namespace

bool AtspiConnection::isUnanswered(const QDBusMessage& reply)
{
    return reply.type() == QDBusMessage::ErrorMessage &&
           (reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.NoReply") ||
            reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.Timeout") ||
            reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.TimedOut"));
}

Expected<QList<AccessibleRef>, QString> AtspiConnection::childrenOf(const QDBusMessage& reply)
{
    const auto arg = firstArgument(reply);
    if (!arg)
        return unexpected(arg.error());
    if (!arg->canConvert<QDBusArgument>() || reply.signature() != QLatin1String("a(so)"))
        return unexpected(malformed());
    const QDBusArgument in = arg->value<QDBusArgument>();
    QList<AccessibleRef> out;
    in.beginArray();
    while (!in.atEnd()) {
        AccessibleRef ref;
        QDBusObjectPath path;
        in.beginStructure();
        in >> ref.service >> path;
        in.endStructure();
        ref.path = path.path();
        if (!ref.service.isEmpty() && ref.path != QLatin1String("/org/a11y/atspi/null"))
            out << ref;
    }
    in.endArray();
    return out;
}

Expected<uint, QString> AtspiConnection::uintOf(const QDBusMessage& reply)
{
    const auto arg = firstArgument(reply);
    if (!arg)
        return unexpected(arg.error());
    bool ok = false;
    const uint value = arg->toUInt(&ok);
    if (!ok)
        return unexpected(malformed());
    return value;
}

Expected<quint64, QString> AtspiConnection::statesOf(const QDBusMessage& reply)
{
    const auto arg = firstArgument(reply);
    if (!arg)
        return unexpected(arg.error());
    if (!arg->canConvert<QDBusArgument>() || reply.signature() != QLatin1String("au"))
        return unexpected(malformed());
    const QList<uint> words = qdbus_cast<QList<uint>>(arg->value<QDBusArgument>());
    quint64 states = 0;
    if (!words.isEmpty())
        states |= words.at(0);
    if (words.size() > 1)
        states |= quint64(words.at(1)) << 32;
    return states;
}

Expected<QString, QString> AtspiConnection::stringOf(const QDBusMessage& reply)
{
    const auto arg = firstArgument(reply);
    if (!arg)
        return unexpected(arg.error());
    if (arg->typeId() != QMetaType::QString)
        return unexpected(malformed());
    return arg->toString();
}

Expected<QString, QString> AtspiConnection::propertyStringOf(const QDBusMessage& reply)
{
    const auto arg = firstArgument(reply);
    if (!arg)
        return unexpected(arg.error());
    const QVariant inner =
        arg->userType() == qMetaTypeId<QDBusVariant>() ? arg->value<QDBusVariant>().variant() : *arg;
    if (inner.typeId() != QMetaType::QString)
        return unexpected(malformed());
    return inner.toString();
}

Expected<QStringList, QString> AtspiConnection::stringListOf(const QDBusMessage& reply)
{
    const auto arg = firstArgument(reply);
    if (!arg)
        return unexpected(arg.error());
    if (arg->typeId() != QMetaType::QStringList)
        return unexpected(malformed());
    return arg->toStringList();
}
