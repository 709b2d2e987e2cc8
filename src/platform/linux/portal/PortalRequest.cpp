#include "PortalRequest.h"

#include <QCoroDBusPendingCall>
#include <QCoroSignal>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QUuid>

namespace {
constexpr QLatin1String requestInterface("org.freedesktop.portal.Request");
}

PortalRequest::PortalRequest(QDBusConnection bus) : m_bus(std::move(bus)) {}

QString PortalRequest::senderPart(const QDBusConnection& bus)
{
    QString name = bus.baseService();
    if (name.startsWith(QLatin1Char(':')))
        name.remove(0, 1);
    return name.replace(QLatin1Char('.'), QLatin1Char('_'));
}

QString PortalRequest::freshToken()
{
    return QStringLiteral("ovra_") + QUuid::createUuid().toString(QUuid::Id128);
}

uint PortalRequest::interfaceVersion(const QDBusConnection& bus, const QString& interface)
{
    QDBusMessage get = QDBusMessage::createMethodCall(portalService, portalPath,
                                                      QStringLiteral("org.freedesktop.DBus.Properties"),
                                                      QStringLiteral("Get"));
    get << interface << QStringLiteral("version");
    const QDBusMessage reply = bus.call(get, QDBus::Block, 5000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return 0;
    return qvariant_cast<QDBusVariant>(reply.arguments().constFirst()).variant().toUInt();
}

bool PortalRequest::listen(const QString& path)
{
    m_path = path;
    return m_bus.connect(portalService, path, requestInterface, QStringLiteral("Response"), this,
                         SLOT(onResponse(uint, QVariantMap)));
}

void PortalRequest::stopListening()
{
    if (!m_path.isEmpty())
        m_bus.disconnect(portalService, m_path, requestInterface, QStringLiteral("Response"), this,
                         SLOT(onResponse(uint, QVariantMap)));
    m_path.clear();
}

void PortalRequest::onResponse(uint code, const QVariantMap& results)
{
    if (m_response)
        return;
    m_response = PortalResponse{code, results, {}};
    Q_EMIT finished();
}

void PortalRequest::fail(const QString& error)
{
    if (m_response)
        return;
    m_response = PortalResponse{2, {}, error};
    Q_EMIT finished();
}

QCoro::Task<PortalResponse> PortalRequest::call(QDBusConnection bus, QString interface, QString method,
                                                QVariantList args, QVariantMap options,
                                                std::chrono::milliseconds timeout)
{
    std::unique_ptr<PortalRequest> request(new PortalRequest(bus));
    const QString token = freshToken();
    options.insert(QStringLiteral("handle_token"), token);
    // Listen before calling: the answer may come right behind the call's reply.
    const QString expected =
        QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(senderPart(bus), token);
    if (!request->listen(expected))
        co_return PortalResponse{2, {}, QStringLiteral("bus de session indisponible")};
    QDBusServiceWatcher watcher(portalService, bus, QDBusServiceWatcher::WatchForUnregistration);
    connect(&watcher, &QDBusServiceWatcher::serviceUnregistered, request.get(),
            [r = request.get()] { r->fail(QStringLiteral("le portail du bureau a quitté le bus")); });

    QDBusMessage call = QDBusMessage::createMethodCall(portalService, portalPath, interface, method);
    args << options;
    call.setArguments(args);
    const QDBusMessage reply = co_await bus.asyncCall(call, int(timeout.count()));
    if (reply.type() == QDBusMessage::ErrorMessage) {
        request->stopListening();
        co_return PortalResponse{2, {}, reply.errorMessage().isEmpty() ? reply.errorName() : reply.errorMessage()};
    }
    if (!reply.arguments().isEmpty()) {
        // Portals older than the handle_token scheme answer on a path of their own.
        const QString actual = qvariant_cast<QDBusObjectPath>(reply.arguments().constFirst()).path();
        if (!actual.isEmpty() && actual != expected) {
            request->stopListening();
            request->listen(actual);
        }
    }
    if (!request->m_response)
        co_await qCoro(request.get(), &PortalRequest::finished, timeout);
    request->stopListening();
    if (!request->m_response)
        co_return PortalResponse{2, {}, QStringLiteral("le portail du bureau n'a pas répondu")};
    co_return *request->m_response;
}
