#include "RemoteDesktopKeySynthesizer.h"

#include "PortalRequest.h"

#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusObjectPath>
#include <QCoroDBusPendingCall>
#include <QDBusServiceWatcher>
#include <QPointer>

namespace {
constexpr QLatin1String remoteDesktopInterface("org.freedesktop.portal.RemoteDesktop");
constexpr QLatin1String sessionInterface("org.freedesktop.portal.Session");
constexpr auto createTimeout = std::chrono::seconds(30);
constexpr auto dialogTimeout = std::chrono::minutes(10);
constexpr uint keyboard = 1;
constexpr uint persistUntilRevoked = 2;

constexpr int controlL = 0xffe3;
constexpr int shiftL = 0xffe1;
constexpr int returnKey = 0xff0d;
constexpr int keyV = 0x76;
constexpr int keyC = 0x63;

QString whatToDo()
{
    return QStringLiteral("le texte reste dans le presse-papiers : collez-le avec Ctrl+V, ou relancez Ovra et "
                          "acceptez le contrôle du clavier dans la fenêtre du portail");
}

QString failure(const QString& step, const PortalResponse& r)
{
    if (r.code == 1)
        return QStringLiteral("collage automatique refusé dans la fenêtre du portail : ") + whatToDo();
    return QStringLiteral("collage automatique indisponible (") + step + QStringLiteral(" : ") +
           (r.error.isEmpty() ? QStringLiteral("le portail a répondu par un échec") : r.error) +
           QStringLiteral(") : ") + whatToDo();
}
} // namespace

RemoteDesktopKeySynthesizer::RemoteDesktopKeySynthesizer(QDBusConnection bus, TokenStore tokens, Journal journal,
                                                         QObject* parent)
    : QObject(parent), m_bus(std::move(bus)), m_tokens(std::move(tokens)), m_journal(std::move(journal)),
      m_watcher(std::make_unique<QDBusServiceWatcher>(portalService, m_bus,
                                                      QDBusServiceWatcher::WatchForUnregistration))
{
    connect(m_watcher.get(), &QDBusServiceWatcher::serviceUnregistered, this, [this] {
        m_session.clear();
        fail(QStringLiteral("le portail du bureau a quitté le bus : ") + whatToDo());
    });
}

RemoteDesktopKeySynthesizer::~RemoteDesktopKeySynthesizer()
{
    if (!m_session.isEmpty())
        m_bus.asyncCall(QDBusMessage::createMethodCall(portalService, m_session, sessionInterface,
                                                       QStringLiteral("Close")));
}

QList<int> RemoteDesktopKeySynthesizer::keysyms(KeyChord chord)
{
    switch (chord) {
    case KeyChord::paste:
        return {controlL, keyV};
    case KeyChord::terminalPaste:
        return {controlL, shiftL, keyV};
    case KeyChord::copy:
        return {controlL, keyC};
    case KeyChord::terminalCopy:
        return {controlL, shiftL, keyC};
    case KeyChord::returnKey:
        return {returnKey};
    }
    return {};
}

QCoro::Task<Expected<void, QString>> RemoteDesktopKeySynthesizer::start()
{
    QPointer<RemoteDesktopKeySynthesizer> self(this);
    if (!m_session.isEmpty())
        co_return Expected<void, QString>{};
    // Arguments built before co_await: GCC cannot keep string literals in a coroutine frame.
    const QDBusConnection bus = m_bus;
    const QString interface = remoteDesktopInterface;
    const QString createSession = QStringLiteral("CreateSession");
    const QString selectDevices = QStringLiteral("SelectDevices");
    const QString startMethod = QStringLiteral("Start");
    const QString sessionHandle = QStringLiteral("session_handle");
    const QVariantMap sessionOptions{{QStringLiteral("session_handle_token"), PortalRequest::freshToken()}};
    const PortalResponse created =
        co_await PortalRequest::call(bus, interface, createSession, {}, sessionOptions, createTimeout);
    if (!self)
        co_return unexpected(QString());
    const QString session = created.results.value(sessionHandle).toString();
    if (!created.granted() || session.isEmpty()) {
        fail(failure(QStringLiteral("session"), created));
        co_return unexpected(m_problem);
    }

    QVariantMap devices{{QStringLiteral("types"), keyboard},
                        {QStringLiteral("persist_mode"), persistUntilRevoked}};
    const QString saved = m_tokens.load ? m_tokens.load() : QString();
    if (!saved.isEmpty())
        devices.insert(QStringLiteral("restore_token"), saved);
    const QVariantList selectArgs{QVariant::fromValue(QDBusObjectPath(session))};
    const PortalResponse selected =
        co_await PortalRequest::call(bus, interface, selectDevices, selectArgs, devices, dialogTimeout);
    if (!self)
        co_return unexpected(QString());
    if (!selected.granted()) {
        fail(failure(QStringLiteral("clavier"), selected));
        co_return unexpected(m_problem);
    }

    const QVariantList startArgs{QVariant::fromValue(QDBusObjectPath(session)), QString()};
    const PortalResponse answer =
        co_await PortalRequest::call(bus, interface, startMethod, startArgs, QVariantMap(), dialogTimeout);
    if (!self)
        co_return unexpected(QString());
    if (!answer.granted() || !(answer.results.value(QStringLiteral("devices")).toUInt() & keyboard)) {
        if (answer.granted())
            fail(QStringLiteral("collage automatique indisponible : le portail n'a pas accordé le clavier ; ") +
                 whatToDo());
        else
            fail(failure(QStringLiteral("démarrage"), answer));
        // A token the portal no longer honours would only ask again next time.
        if (answer.code == 1 && m_tokens.save)
            m_tokens.save(QString());
        co_return unexpected(m_problem);
    }
    m_session = session;
    m_problem.clear();
    m_bus.connect(portalService, m_session, sessionInterface, QStringLiteral("Closed"), this,
                  SLOT(onSessionClosed()));
    // Portals without persistence give no token: the user is asked at each start.
    const QString token = answer.results.value(QStringLiteral("restore_token")).toString();
    if (!token.isEmpty() && m_tokens.save)
        m_tokens.save(token);
    m_journal(QStringLiteral("PORTAIL clavier RemoteDesktop accordé") +
              (saved.isEmpty() ? QString() : QStringLiteral(" (accord précédent réutilisé)")) +
              (token.isEmpty() ? QStringLiteral(" ; le portail ne garde pas l'accord : il sera redemandé au prochain "
                                                "démarrage")
                               : QString()));
    Q_EMIT started();
    co_return Expected<void, QString>{};
}

void RemoteDesktopKeySynthesizer::post(KeyChord chord)
{
    if (m_session.isEmpty())
        return;
    const QList<int> syms = keysyms(chord);
    for (int sym : syms)
        m_queue.append({sym, true});
    for (auto it = syms.crbegin(); it != syms.crend(); ++it)
        m_queue.append({*it, false});
    if (!m_sending)
        QCoro::connect(sendQueued(), this, [] {});
}

QDBusMessage RemoteDesktopKeySynthesizer::keyMessage(int keysym, bool pressed) const
{
    QDBusMessage call = QDBusMessage::createMethodCall(portalService, portalPath, remoteDesktopInterface,
                                                       QStringLiteral("NotifyKeyboardKeysym"));
    call << QVariant::fromValue(QDBusObjectPath(m_session)) << QVariantMap() << keysym << uint(pressed ? 1 : 0);
    call.setAutoStartService(false);
    return call;
}

QCoro::Task<> RemoteDesktopKeySynthesizer::sendQueued()
{
    // One key after the other, each answered before the next: the portal handles calls on
    // several threads, so keys sent without waiting can reach the compositor out of order.
    QPointer<RemoteDesktopKeySynthesizer> self(this);
    m_sending = true;
    while (!m_queue.isEmpty() && !m_session.isEmpty()) {
        const auto [keysym, pressed] = m_queue.takeFirst();
        const QDBusMessage call = keyMessage(keysym, pressed);
        co_await m_bus.asyncCall(call);
        if (!self)
            co_return;
    }
    m_queue.clear();
    m_sending = false;
}

void RemoteDesktopKeySynthesizer::onSessionClosed()
{
    m_bus.disconnect(portalService, m_session, sessionInterface, QStringLiteral("Closed"), this,
                     SLOT(onSessionClosed()));
    m_session.clear();
    fail(QStringLiteral("le bureau a fermé le contrôle du clavier : ") + whatToDo());
}

void RemoteDesktopKeySynthesizer::fail(const QString& message)
{
    if (message.isEmpty() || m_problem == message)
        return;
    m_problem = message;
    m_journal(QStringLiteral("PORTAIL ") + message);
    Q_EMIT unavailable(message);
}
