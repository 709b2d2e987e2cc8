#pragma once
// Global shortcuts through the desktop portal (KDE Plasma, recent GNOME, Hyprland): one session,
// every named shortcut bound with its combination as the preferred trigger, Activated as key-down
// and Deactivated as key-up. The portal, not us, owns the keys: the user confirms them in its
// dialog and changes them there (rebind).
//
// A portal that never sends Deactivated (Plasma 5.27) is noticed on the second press of a
// shortcut still held: from then on each press releases the shortcut and presses it again, so
// the primary shortcut and push-to-talk work as toggles. On KDE, kglobalaccel's own release
// signal is used first where it comes.
#include "platform/GlobalKeyboard.h"

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QObject>
#include <QVariantMap>
#include <QCoroTask>
#include <functional>
#include <memory>

class QDBusServiceWatcher;

class PortalGlobalShortcuts : public QObject, public KeyGrabber
{
    Q_OBJECT
public:
    using Journal = std::function<void(const QString&)>;

    // desktop: $XDG_CURRENT_DESKTOP (KDE adds kglobalaccel's release signal).
    PortalGlobalShortcuts(QDBusConnection bus, const QString& desktop, Journal journal, QObject* parent = nullptr);
    ~PortalGlobalShortcuts() override;

    bool isAvailable() const override { return m_problem.isEmpty(); }
    Expected<void, QString> grab(const KeyCombo& combo, std::function<void()> onDown,
                                 std::function<void()> onUp) override;
    Expected<void, QString> grabNamed(const QString& name, const KeyCombo& combo, std::function<void()> onDown,
                                      std::function<void()> onUp) override;
    void ungrab(const KeyCombo& combo) override;
    void setLostHandler(std::function<void(const QString&)> handler) override { m_lost = std::move(handler); }

    // Opens the portal's dialog again so the user chooses other keys (or accepts after refusing).
    void rebind();
    // Lets the user change the keys in the desktop's own settings: ConfigureShortcuts where the
    // portal's interface version offers it (2 and later), else its binding dialog again.
    void configure(uint interfaceVersion);

    // A press of one of our combinations reached one of our own windows, so the desktop did not
    // take it as a global shortcut. Unless the portal reports it at once, the shortcuts are
    // registered but do not arrive: they are reported unavailable.
    void noteLocalPress(const KeyCombo& combo);

    // Why the shortcuts do not work, with what to do; empty while they do.
    QString problem() const { return m_problem; }
    // True once the portal has bound the shortcuts / delivered a first activation: until then
    // nobody knows that a press of the keys reaches us.
    bool isBound() const { return m_bound; }
    bool isConfirmed() const { return m_confirmed; }
    // True once a press was seen without any release: shortcuts act as toggles.
    bool isTogglingWithoutRelease() const { return m_noRelease; }
    // One line for the settings section and the journal.
    QString status() const;

Q_SIGNALS:
    void bound();
    // The shortcuts stopped working (refused, portal gone): message says what to do.
    void unavailable(const QString& message);
    void confirmed();

private Q_SLOTS:
    void onActivated(const QDBusObjectPath& session, const QString& id, qulonglong timestamp,
                     const QVariantMap& options);
    void onDeactivated(const QDBusObjectPath& session, const QString& id, qulonglong timestamp,
                       const QVariantMap& options);
    void onKglobalaccelReleased(const QString& component, const QString& shortcut, qlonglong timestamp);
    void onSessionClosed();

private:
    struct Shortcut
    {
        QString id;
        KeyCombo combo;
        std::function<void()> down;
        std::function<void()> up;
        bool held = false;
    };
    Shortcut* find(const QString& id);
    void scheduleBind();
    QCoro::Task<> bind();
    void release(const QString& id);
    void fail(const QString& message, bool refused = false);

    QDBusConnection m_bus;
    Journal m_journal;
    std::unique_ptr<QDBusServiceWatcher> m_watcher;
    QList<Shortcut> m_shortcuts;
    QString m_session;
    QString m_problem;
    // The user said no in the dialog: a later grab asks again; a vanished portal does not.
    bool m_refused = false;
    std::function<void(const QString&)> m_lost;
    bool m_bindScheduled = false;
    bool m_binding = false;
    bool m_bindAgain = false;
    bool m_bound = false;
    bool m_confirmed = false;
    bool m_releaseSeen = false;
    bool m_noRelease = false;
};

// The portal's accelerator text for a combination, e.g. "CTRL+ALT+d", "LOGO+F5".
QString portalTrigger(const KeyCombo& combo);
