#pragma once
// One call of the desktop portal that answers through a Request object: the options get a fresh
// handle_token, the Response signal of the request's path is the answer. A portal that leaves
// the bus or never answers ends the request with an error instead of leaving it hanging.
#include <QCoroTask>
#include <QDBusConnection>
#include <QObject>
#include <QVariantMap>
#include <chrono>
#include <optional>

inline constexpr QLatin1String portalService("org.freedesktop.portal.Desktop");
inline constexpr QLatin1String portalPath("/org/freedesktop/portal/desktop");

struct PortalResponse
{
    // 0 granted, 1 refused by the user, 2 failed; error is set when the call itself failed.
    uint code = 2;
    QVariantMap results;
    QString error;

    bool granted() const { return error.isEmpty() && code == 0; }
};

class PortalRequest : public QObject
{
    Q_OBJECT
public:
    // args are the method's arguments before its options.
    static QCoro::Task<PortalResponse> call(QDBusConnection bus, QString interface, QString method, QVariantList args,
                                            QVariantMap options, std::chrono::milliseconds timeout);

    // The portal's name for this connection in request and session paths.
    static QString senderPart(const QDBusConnection& bus);
    static QString freshToken();
    // The version of a portal interface the session bus offers; 0 when it offers none (no
    // portal, or a portal without that interface). Blocks for at most a few seconds.
    static uint interfaceVersion(const QDBusConnection& bus, const QString& interface);

Q_SIGNALS:
    void finished();

private Q_SLOTS:
    void onResponse(uint code, const QVariantMap& results);

private:
    explicit PortalRequest(QDBusConnection bus);
    bool listen(const QString& path);
    void stopListening();
    void fail(const QString& error);

    QDBusConnection m_bus;
    QString m_path;
    std::optional<PortalResponse> m_response;
};
