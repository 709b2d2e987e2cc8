#include "PortalGlobalShortcuts.h"

#include "PortalRequest.h"

#include <QCoroSignal>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusMetaType>
#include <QDBusServiceWatcher>
#include <QPointer>
#include <QTimer>

namespace {
constexpr QLatin1String shortcutsInterface("org.freedesktop.portal.GlobalShortcuts");
constexpr auto createTimeout = std::chrono::seconds(30);
// The user answers the portal's dialog: give them time.
constexpr auto dialogTimeout = std::chrono::minutes(10);

struct PortalShortcut
{
    QString id;
    QVariantMap options;
};
} // namespace

Q_DECLARE_METATYPE(PortalShortcut)

namespace {
QDBusArgument& operator<<(QDBusArgument& arg, const PortalShortcut& s)
{
    arg.beginStructure();
    arg << s.id << s.options;
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, PortalShortcut& s)
{
    arg.beginStructure();
    arg >> s.id >> s.options;
    arg.endStructure();
    return arg;
}

QString description(const QString& id)
{
    if (id == QLatin1String("toggleDictation"))
        return QStringLiteral("Dicter (démarrer / arrêter)");
    if (id == QLatin1String("pushToTalk"))
        return QStringLiteral("Appuyer pour parler");
    if (id == QLatin1String("transformSelection"))
        return QStringLiteral("Corriger la sélection");
    if (id.startsWith(QLatin1String("powerMode-")))
        return QStringLiteral("Dicter dans un mode");
    return id;
}

QString whatToDo()
{
    return QStringLiteral("liez plutôt « ovra toggle » (et « ovra ptt press|release ») à une touche dans les réglages "
                          "de votre bureau, ou redemandez les raccourcis depuis la section Raccourcis");
}

QString failure(const PortalResponse& r)
{
    if (r.code == 1)
        return QStringLiteral("raccourcis globaux refusés dans la fenêtre du portail : ") + whatToDo();
    return QStringLiteral("raccourcis globaux indisponibles (") +
           (r.error.isEmpty() ? QStringLiteral("le portail a répondu par un échec") : r.error) +
           QStringLiteral(") : ") + whatToDo();
}

QString sessionHandle(const QVariant& v)
{
    if (v.canConvert<QDBusObjectPath>() && v.metaType() == QMetaType::fromType<QDBusObjectPath>())
        return v.value<QDBusObjectPath>().path();
    return v.toString();
}
} // namespace

QString portalTrigger(const KeyCombo& combo)
{
    QStringList parts;
    if (combo.modifiers & KeyCombo::control)
        parts << QStringLiteral("CTRL");
    if (combo.modifiers & KeyCombo::alt)
        parts << QStringLiteral("ALT");
    if (combo.modifiers & KeyCombo::shift)
        parts << QStringLiteral("SHIFT");
    if (combo.modifiers & KeyCombo::super)
        parts << QStringLiteral("LOGO");
    parts << combo.key;
    return parts.join(QLatin1Char('+'));
}

PortalGlobalShortcuts::PortalGlobalShortcuts(QDBusConnection bus, const QString& desktop, Journal journal,
                                             QObject* parent)
    : QObject(parent), m_bus(std::move(bus)), m_journal(std::move(journal)),
      m_watcher(std::make_unique<QDBusServiceWatcher>(portalService, m_bus,
                                                      QDBusServiceWatcher::WatchForUnregistration))
{
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<QList<PortalShortcut>>();
    connect(m_watcher.get(), &QDBusServiceWatcher::serviceUnregistered, this, [this] {
        m_session.clear();
        m_bound = false;
        fail(QStringLiteral("le portail du bureau a quitté le bus : raccourcis globaux indisponibles ; ") + whatToDo());
    });
    m_bus.connect(portalService, portalPath, shortcutsInterface, QStringLiteral("Activated"), this,
                  SLOT(onActivated(QDBusObjectPath, QString, qulonglong, QVariantMap)));
    m_bus.connect(portalService, portalPath, shortcutsInterface, QStringLiteral("Deactivated"), this,
                  SLOT(onDeactivated(QDBusObjectPath, QString, qulonglong, QVariantMap)));
    if (desktop.split(QLatin1Char(':')).contains(QLatin1String("KDE"), Qt::CaseInsensitive))
        m_bus.connect(QString(), QString(), QStringLiteral("org.kde.kglobalaccel.Component"),
                      QStringLiteral("globalShortcutReleased"), this,
                      SLOT(onKglobalaccelReleased(QString, QString, qlonglong)));
}

PortalGlobalShortcuts::~PortalGlobalShortcuts()
{
    if (!m_session.isEmpty())
        m_bus.asyncCall(QDBusMessage::createMethodCall(portalService, m_session,
                                                       QStringLiteral("org.freedesktop.portal.Session"),
                                                       QStringLiteral("Close")));
}

Expected<void, QString> PortalGlobalShortcuts::grab(const KeyCombo& combo, std::function<void()> onDown,
                                                    std::function<void()> onUp)
{
    return grabNamed(combo.toString(), combo, std::move(onDown), std::move(onUp));
}

Expected<void, QString> PortalGlobalShortcuts::grabNamed(const QString& name, const KeyCombo& combo,
                                                         std::function<void()> onDown, std::function<void()> onUp)
{
    if (!m_problem.isEmpty() && !m_refused)
        return unexpected(m_problem);
    if (m_refused) {
        // A shortcut bound again after a refusal: the user asks, so the portal asks again.
        m_problem.clear();
        m_refused = false;
        m_bound = false;
        scheduleBind();
    }
    if (Shortcut* s = find(name)) {
        const bool changed = s->combo != combo;
        s->combo = combo;
        s->down = std::move(onDown);
        s->up = std::move(onUp);
        if (!changed)
            return {};
    } else {
        m_shortcuts.append(Shortcut{name, combo, std::move(onDown), std::move(onUp)});
    }
    scheduleBind();
    return {};
}

void PortalGlobalShortcuts::ungrab(const KeyCombo& combo)
{
    // The portal keeps the keys for the session; a forgotten shortcut's activations are ignored.
    m_shortcuts.removeIf([&](const Shortcut& s) { return s.combo == combo; });
}

void PortalGlobalShortcuts::rebind()
{
    if (!m_problem.isEmpty() && !m_refused)
        return;
    m_problem.clear();
    m_refused = false;
    m_bound = false;
    scheduleBind();
}

void PortalGlobalShortcuts::configure(uint interfaceVersion)
{
    if (interfaceVersion >= 2 && !m_session.isEmpty() && m_problem.isEmpty()) {
        QDBusMessage call = QDBusMessage::createMethodCall(portalService, portalPath, shortcutsInterface,
                                                           QStringLiteral("ConfigureShortcuts"));
        call << QVariant::fromValue(QDBusObjectPath(m_session)) << QString() << QVariantMap();
        m_bus.asyncCall(call);
        return;
    }
    rebind();
}

PortalGlobalShortcuts::Shortcut* PortalGlobalShortcuts::find(const QString& id)
{
    for (Shortcut& s : m_shortcuts)
        if (s.id == id)
            return &s;
    return nullptr;
}

void PortalGlobalShortcuts::scheduleBind()
{
    if (m_binding) {
        m_bindAgain = true;
        return;
    }
    if (m_bindScheduled)
        return;
    m_bindScheduled = true;
    // Shortcuts are registered one by one at start-up: bind them all in one dialog.
    QTimer::singleShot(0, this, [this] {
        m_bindScheduled = false;
        QCoro::connect(bind(), this, [] {});
    });
}

QCoro::Task<> PortalGlobalShortcuts::bind()
{
    QPointer<PortalGlobalShortcuts> self(this);
    m_binding = true;
    // Arguments built before co_await: GCC cannot keep string literals in a coroutine frame.
    const QString createSession = QStringLiteral("CreateSession");
    const QString bindShortcuts = QStringLiteral("BindShortcuts");
    const QString interface = shortcutsInterface;
    const QVariantMap sessionOptions{{QStringLiteral("session_handle_token"), PortalRequest::freshToken()}};
    if (m_session.isEmpty()) {
        const PortalResponse created =
            co_await PortalRequest::call(m_bus, interface, createSession, {}, sessionOptions, createTimeout);
        if (!self)
            co_return;
        if (created.granted())
            m_session = sessionHandle(created.results.value(QStringLiteral("session_handle")));
        if (m_session.isEmpty()) {
            m_binding = false;
            fail(failure(created));
            co_return;
        }
        m_bus.connect(portalService, m_session, QStringLiteral("org.freedesktop.portal.Session"),
                      QStringLiteral("Closed"), this, SLOT(onSessionClosed()));
    }
    QList<PortalShortcut> wanted;
    QStringList asked;
    for (const Shortcut& s : std::as_const(m_shortcuts)) {
        wanted.append({s.id,
                       {{QStringLiteral("description"), description(s.id)},
                        {QStringLiteral("preferred_trigger"), portalTrigger(s.combo)}}});
        asked << s.id + QStringLiteral("=") + portalTrigger(s.combo);
    }
    const QVariantList bindArgs{QVariant::fromValue(QDBusObjectPath(m_session)), QVariant::fromValue(wanted), QString()};
    const PortalResponse answer =
        co_await PortalRequest::call(m_bus, interface, bindShortcuts, bindArgs, QVariantMap(), dialogTimeout);
    if (!self)
        co_return;
    m_binding = false;
    if (!answer.granted()) {
        fail(failure(answer), answer.code == 1);
        co_return;
    }
    QList<PortalShortcut> given;
    const QVariant list = answer.results.value(QStringLiteral("shortcuts"));
    if (list.canConvert<QDBusArgument>())
        list.value<QDBusArgument>() >> given;
    QStringList triggers;
    QStringList missing;
    for (const Shortcut& s : std::as_const(m_shortcuts)) {
        const auto it = std::find_if(given.cbegin(), given.cend(), [&](const PortalShortcut& g) { return g.id == s.id; });
        if (it == given.cend())
            missing << s.id;
        else
            triggers << s.id + QStringLiteral(" → ") +
                            it->options.value(QStringLiteral("trigger_description"), portalTrigger(s.combo)).toString();
    }
    m_bound = true;
    m_journal(QStringLiteral("PORTAIL raccourcis demandés : ") + asked.join(QStringLiteral(", ")) +
              QStringLiteral(" ; liés : ") + (triggers.isEmpty() ? QStringLiteral("aucun") : triggers.join(QStringLiteral(", "))) +
              (missing.isEmpty() ? QString() : QStringLiteral(" ; non liés : ") + missing.join(QStringLiteral(", "))));
    if (!m_confirmed)
        m_journal(QStringLiteral("PORTAIL raccourcis : en attente d'une première pression pour confirmer qu'elle "
                                 "arrive ; sinon ") + whatToDo());
    Q_EMIT bound();
    if (m_bindAgain) {
        m_bindAgain = false;
        scheduleBind();
    }
}

void PortalGlobalShortcuts::fail(const QString& message, bool refused)
{
    m_refused = refused;
    if (m_problem == message)
        return;
    m_problem = message;
    for (Shortcut& s : m_shortcuts)
        s.held = false;
    m_journal(QStringLiteral("PORTAIL ") + message);
    Q_EMIT unavailable(message);
    if (m_lost)
        m_lost(message);
}

void PortalGlobalShortcuts::onActivated(const QDBusObjectPath& session, const QString& id, qulonglong,
                                        const QVariantMap&)
{
    if (session.path() != m_session || !m_problem.isEmpty())
        return;
    Shortcut* s = find(id);
    if (!s)
        return;
    if (!m_confirmed) {
        m_confirmed = true;
        m_journal(QStringLiteral("PORTAIL raccourci reçu : ") + id + QStringLiteral(" (le portail transmet les pressions)"));
        Q_EMIT confirmed();
    }
    if (s->held) {
        // Once a release was seen, a press of a held shortcut is the key's auto-repeat.
        if (m_releaseSeen)
            return;
        if (!m_noRelease) {
            m_noRelease = true;
            m_journal(QStringLiteral("PORTAIL raccourcis : le portail ne signale pas le relâchement des touches ; "
                                     "chaque pression bascule (appuyer = démarrer, appuyer encore = arrêter)"));
        }
        release(id);
        s = find(id);
        if (!s)
            return;
    }
    s->held = true;
    const std::function<void()> down = s->down;
    if (down)
        down();
}

void PortalGlobalShortcuts::onDeactivated(const QDBusObjectPath& session, const QString& id, qulonglong,
                                          const QVariantMap&)
{
    if (session.path() != m_session)
        return;
    m_releaseSeen = true;
    release(id);
}

void PortalGlobalShortcuts::onKglobalaccelReleased(const QString&, const QString& shortcut, qlonglong)
{
    Shortcut* s = find(shortcut);
    if (!s || !s->held)
        return;
    m_releaseSeen = true;
    release(shortcut);
}

void PortalGlobalShortcuts::noteLocalPress(const KeyCombo& combo)
{
    if (m_confirmed || !m_bound || !m_problem.isEmpty())
        return;
    if (std::none_of(m_shortcuts.cbegin(), m_shortcuts.cend(), [&](const Shortcut& s) { return s.combo == combo; }))
        return;
    // A desktop that both passes the key on and activates the shortcut gets a moment to do so.
    QTimer::singleShot(std::chrono::seconds(1), this, [this, combo] {
        if (m_confirmed || !m_bound || !m_problem.isEmpty())
            return;
        fail(QStringLiteral("le raccourci ") + combo.displayText() +
                 QStringLiteral(" n'arrive pas par le portail (pressé dans la fenêtre d'Ovra, rien reçu du bureau) : ") +
                 whatToDo(),
             true);
    });
}

void PortalGlobalShortcuts::onSessionClosed()
{
    m_bus.disconnect(portalService, m_session, QStringLiteral("org.freedesktop.portal.Session"),
                     QStringLiteral("Closed"), this, SLOT(onSessionClosed()));
    m_session.clear();
    m_bound = false;
    // A later grab opens a new session.
    fail(QStringLiteral("le bureau a fermé la session des raccourcis globaux : ") + whatToDo(), true);
}

void PortalGlobalShortcuts::release(const QString& id)
{
    Shortcut* s = find(id);
    if (!s || !s->held)
        return;
    s->held = false;
    const std::function<void()> up = s->up;
    if (up)
        up();
}

QString PortalGlobalShortcuts::status() const
{
    if (!m_problem.isEmpty())
        return m_problem;
    QString text = QStringLiteral("portail GlobalShortcuts");
    if (!m_bound)
        text += QStringLiteral(" (en attente de l'accord de l'utilisateur)");
    else if (!m_confirmed)
        text += QStringLiteral(" (non confirmé : aucune pression reçue encore ; sinon « ovra toggle »)");
    if (m_noRelease)
        text += QStringLiteral(", sans relâchement : les raccourcis basculent");
    return text;
}
