#include "AtspiFrontmostApplication.h"

#include "AtspiApplicationId.h"

#include <QCoroDBusPendingCall>
#include <QDBusServiceWatcher>
#include <QPointer>
#include <QTimer>

namespace {
constexpr int kConnectMs = 500;
constexpr int kLookupMs = 2000;
constexpr int kScanMs = 300;
const QString kRootPath = QStringLiteral("/org/a11y/atspi/accessible/root");
} // namespace

AtspiFrontmostApplication::AtspiFrontmostApplication(AtspiConnection& connection, QObject* parent)
    : QObject(parent), m_atspi(connection)
{
}

bool AtspiFrontmostApplication::isAvailable() const
{
    if (!m_available)
        m_available = bool(m_atspi.ensureConnectedNow(kConnectMs));
    return *m_available;
}

bool AtspiFrontmostApplication::subscribe()
{
    if (m_subscribed)
        return true;
    if (!isAvailable())
        return false;
    QDBusConnection bus = m_atspi.bus();
    bus.connect(QString(), QString(), QStringLiteral("org.a11y.atspi.Event.Window"), QStringLiteral("Activate"), this,
                SLOT(onWindowActivated(QDBusMessage)));
    bus.connect(QString(), QString(), QStringLiteral("org.a11y.atspi.Event.Object"), QStringLiteral("StateChanged"),
                this, SLOT(onStateChanged(QDBusMessage)));
    // A registry that ends (it crashed, the session's accessibility was restarted) forgets its
    // listeners: the next one is started and told again, a second later so that a registry
    // that cannot start is not restarted in a loop.
    auto* watcher = new QDBusServiceWatcher(QStringLiteral("org.a11y.atspi.Registry"), bus,
                                            QDBusServiceWatcher::WatchForUnregistration, this);
    connect(watcher, &QDBusServiceWatcher::serviceUnregistered, this,
            [this] { QTimer::singleShot(1000, this, [this] { registerEvents(); }); });
    registerEvents();
    m_subscribed = true;
    return true;
}

void AtspiFrontmostApplication::registerEvents()
{
    // Toolkits send events only while some listener is registered with the registry; waited for,
    // so that a program starting from now on finds us among the listeners.
    for (const QString& event : {QStringLiteral("window:activate"), QStringLiteral("object:state-changed:focused"),
                                 QStringLiteral("object:state-changed:active")}) {
        QDBusMessage request = QDBusMessage::createMethodCall(
            QStringLiteral("org.a11y.atspi.Registry"), QStringLiteral("/org/a11y/atspi/registry"),
            QStringLiteral("org.a11y.atspi.Registry"), QStringLiteral("RegisterEvent"));
        request.setArguments({event, QStringList(), QString()});
        m_atspi.bus().call(request, QDBus::Block, kConnectMs);
    }
}

void AtspiFrontmostApplication::setActivationHandler(std::function<void(const QString&)> handler)
{
    m_handler = std::move(handler);
    subscribe();
}

void AtspiFrontmostApplication::onWindowActivated(const QDBusMessage& message) { activated(message.service()); }

void AtspiFrontmostApplication::onStateChanged(const QDBusMessage& message)
{
    // (detail, detail1, detail2, value, properties): "focused" with 1 when focus arrives, "active"
    // with 1 when a window becomes active (toolkits that send no window:activate).
    const QVariantList args = message.arguments();
    if (args.size() < 2 || args.at(1).toInt() != 1)
        return;
    const QString detail = args.at(0).toString();
    if (detail != QLatin1String("focused") && detail != QLatin1String("active"))
        return;
    activated(message.service());
}

QCoro::Task<> AtspiFrontmostApplication::activated(QString sender)
{
    if (sender.isEmpty())
        co_return;
    const quint64 sequence = ++m_sequence;
    QPointer<AtspiFrontmostApplication> self(this);
    const QString id = co_await identifierOf(sender, QDeadlineTimer(kLookupMs));
    // A later activation decided while this one was being looked up.
    if (!self || sequence != self->m_sequence || id.isEmpty())
        co_return;
    self->m_current = id;
    if (id == self->m_lastReported)
        co_return;
    self->m_lastReported = id;
    if (self->m_handler)
        self->m_handler(id);
}

QCoro::Task<QString> AtspiFrontmostApplication::identifierOf(QString sender, QDeadlineTimer deadline)
{
    if (const auto known = m_identifiers.constFind(sender); known != m_identifiers.cend())
        co_return *known;
    QPointer<AtspiFrontmostApplication> self(this);
    QDBusPendingCall pidCall = m_atspi.processId(sender, deadline);
    QDBusPendingCall nameCall = m_atspi.name({sender, kRootPath}, deadline);
    const auto pid = AtspiConnection::uintOf(co_await pidCall);
    const auto name = AtspiConnection::propertyStringOf(co_await nameCall);
    if (!self || (!pid && !name))
        co_return QString();
    const QString id =
        AtspiApplicationId::identifierOf(pid ? AtspiApplicationId::executableOf(*pid) : QString(), name ? *name : QString());
    if (!id.isEmpty())
        self->m_identifiers.insert(sender, id);
    co_return id;
}

QString AtspiFrontmostApplication::frontmostApplicationId()
{
    if (!m_current.isEmpty())
        return m_current;
    if (!isAvailable())
        return {};
    // Nothing activated since we listen: ask once which application has its window active.
    return scanForActiveWindow();
}

QString AtspiFrontmostApplication::scanForActiveWindow()
{
    const QDeadlineTimer deadline(kScanMs);
    QDBusPendingCall appsCall = m_atspi.children(AtspiConnection::registryRoot(), deadline);
    appsCall.waitForFinished();
    const auto applications = AtspiConnection::childrenOf(appsCall.reply());
    if (!applications)
        return {};
    QList<QDBusPendingCall> windowLists;
    for (const AccessibleRef& app : *applications)
        windowLists << m_atspi.children(app, deadline);
    for (qsizetype i = 0; i < applications->size() && !deadline.hasExpired(); ++i) {
        windowLists[i].waitForFinished();
        const auto windows = AtspiConnection::childrenOf(windowLists[i].reply());
        if (!windows)
            continue;
        QList<QDBusPendingCall> states;
        for (const AccessibleRef& window : *windows)
            states << m_atspi.states(window, deadline);
        for (QDBusPendingCall& call : states) {
            call.waitForFinished();
            const auto s = AtspiConnection::statesOf(call.reply());
            if (!s || !Atspi::hasState(*s, Atspi::StateActive))
                continue;
            const QString sender = applications->at(i).service;
            if (const auto known = m_identifiers.constFind(sender); known != m_identifiers.cend())
                return *known;
            QDBusPendingCall pidCall = m_atspi.processId(sender, deadline);
            QDBusPendingCall nameCall = m_atspi.name({sender, kRootPath}, deadline);
            pidCall.waitForFinished();
            nameCall.waitForFinished();
            const auto pid = AtspiConnection::uintOf(pidCall.reply());
            const auto name = AtspiConnection::propertyStringOf(nameCall.reply());
            return AtspiApplicationId::identifierOf(pid ? AtspiApplicationId::executableOf(*pid) : QString(),
                                                    name ? *name : QString());
        }
    }
    return {};
}
