#pragma once
// The accessibility bus: its address is asked of org.a11y.Bus on the session bus (or given),
// the connection is opened on first use and again after the bus went away. Calls are sent
// without waiting so a caller can have many in flight; each is bounded by a deadline.
#include "store/Expected.h"

#include <QCoroTask>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDeadlineTimer>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantList>

// One accessible object: the bus name of its application and its object path.
struct AccessibleRef
{
    QString service;
    QString path;
    bool operator==(const AccessibleRef&) const = default;
};

namespace Atspi {
// Roles and states of the accessibility protocol that we read.
enum Role : uint {
    RoleFiller = 20,
    RoleFrame = 23,
    RoleText = 61,
    RoleApplication = 75,
    RoleEntry = 79,
    RoleDocumentFrame = 82,
    RoleDocumentWeb = 95,
};
enum State : int {
    StateActive = 1,
    StateFocused = 12,
    StateShowing = 25,
    StateVisible = 30,
};
inline bool hasState(quint64 states, State s) { return (states >> int(s)) & 1u; }
} // namespace Atspi

class AtspiConnection
{
public:
    // address: the accessibility bus to use; empty = ask org.a11y.Bus on the session bus.
    explicit AtspiConnection(QString address = {});
    ~AtspiConnection();
    AtspiConnection(const AtspiConnection&) = delete;
    AtspiConnection& operator=(const AtspiConnection&) = delete;

    // Opens the bus when it is not open; error: why, in French.
    QCoro::Task<Expected<void, QString>> ensureConnected(QDeadlineTimer deadline);
    // Synchronous variant for start-up paths that cannot await (bounded by timeoutMs).
    Expected<void, QString> ensureConnectedNow(int timeoutMs);
    bool isConnected() const;
    QDBusConnection bus() const { return m_bus; }

    static AccessibleRef registryRoot();

    QDBusPendingCall call(const AccessibleRef& object, const QString& interface, const QString& method,
                          const QVariantList& args, QDeadlineTimer deadline) const;
    QDBusPendingCall children(const AccessibleRef& object, QDeadlineTimer deadline) const;
    QDBusPendingCall role(const AccessibleRef& object, QDeadlineTimer deadline) const;
    QDBusPendingCall states(const AccessibleRef& object, QDeadlineTimer deadline) const;
    QDBusPendingCall name(const AccessibleRef& object, QDeadlineTimer deadline) const;
    QDBusPendingCall interfaces(const AccessibleRef& object, QDeadlineTimer deadline) const;
    QDBusPendingCall documentAttribute(const AccessibleRef& object, const QString& attribute,
                                       QDeadlineTimer deadline) const;
    QDBusPendingCall text(const AccessibleRef& object, QDeadlineTimer deadline) const;
    QDBusPendingCall processId(const QString& service, QDeadlineTimer deadline) const;

    // The call got no answer in its time (the application hangs, or the deadline passed).
    static bool isUnanswered(const QDBusMessage& reply);
    // Replies, read defensively: a malformed or error reply gives the error's text.
    static Expected<QList<AccessibleRef>, QString> childrenOf(const QDBusMessage& reply);
    static Expected<uint, QString> uintOf(const QDBusMessage& reply);
    static Expected<quint64, QString> statesOf(const QDBusMessage& reply);
    static Expected<QString, QString> stringOf(const QDBusMessage& reply);
    static Expected<QString, QString> propertyStringOf(const QDBusMessage& reply);
    static Expected<QStringList, QString> stringListOf(const QDBusMessage& reply);

private:
    Expected<void, QString> open(const QString& address);

    QString m_fixedAddress;
    QString m_name;
    QDBusConnection m_bus;
};
