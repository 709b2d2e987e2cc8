#pragma once
// The paste chord through the desktop portal's RemoteDesktop keyboard (GNOME, KDE): keysyms, not
// key codes, so the compositor finds the keys in whatever layout is active (AZERTY, Dvorak,
// Bépo). The user approves the session once: the portal's restore token is kept and handed back
// at the next start.
#include "platform/KeySynthesizer.h"
#include "store/Expected.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <functional>
#include <memory>

class QDBusServiceWatcher;

class RemoteDesktopKeySynthesizer : public QObject, public KeySynthesizer
{
    Q_OBJECT
public:
    struct TokenStore
    {
        std::function<QString()> load;
        std::function<void(const QString&)> save;
    };
    using Journal = std::function<void(const QString&)>;

    RemoteDesktopKeySynthesizer(QDBusConnection bus, TokenStore tokens, Journal journal, QObject* parent = nullptr);
    ~RemoteDesktopKeySynthesizer() override;

    // Opens the session; the portal may ask the user. Error: what to do, in French.
    QCoro::Task<Expected<void, QString>> start();

    bool isTrusted() const override { return !m_session.isEmpty(); }
    void post(KeyChord chord) override;

    // Why no key reaches the desktop, with what to do; empty while keys do.
    QString problem() const { return m_problem; }

    // The keysyms of a chord in pressing order (released in reverse).
    static QList<int> keysyms(KeyChord chord);

Q_SIGNALS:
    void started();
    void unavailable(const QString& message);

private Q_SLOTS:
    void onSessionClosed();

private:
    void fail(const QString& message);
    QDBusMessage keyMessage(int keysym, bool pressed) const;
    QCoro::Task<> sendQueued();

    QDBusConnection m_bus;
    TokenStore m_tokens;
    Journal m_journal;
    std::unique_ptr<QDBusServiceWatcher> m_watcher;
    QString m_session;
    QString m_problem;
    QList<std::pair<int, bool>> m_queue;
    bool m_sending = false;
};
