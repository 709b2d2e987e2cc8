// Shortcuts and the paste chord through the real xdg-desktop-portal and a back end of the test's
// own (tests/portal/portal_backend.py, started by tests/rigs/with-portal.sh).
#include "platform/linux/portal/PortalGlobalShortcuts.h"
#include "platform/linux/portal/PortalRequest.h"
#include "platform/linux/portal/RemoteDesktopKeySynthesizer.h"

#include <QDBusInterface>
#include <QDBusReply>
#include <QSignalSpy>
#include <QTest>
#include <QCoroTask>
#include <csignal>

namespace {
// The back end's control interface: press and release shortcuts, refuse a dialog, read calls.
struct Backend
{
    QDBusInterface control{QStringLiteral("org.freedesktop.impl.portal.desktop.ovratest"),
                           QStringLiteral("/org/freedesktop/portal/desktop"), QStringLiteral("org.ovra.PortalTest")};

    uint press(const QString& id) { return QDBusReply<uint>(control.call(QStringLiteral("Press"), id)).value(); }
    uint release(const QString& id) { return QDBusReply<uint>(control.call(QStringLiteral("Release"), id)).value(); }
    void refuseNext(const QString& method) { control.call(QStringLiteral("RefuseNext"), method); }
    uint closeSessions() { return QDBusReply<uint>(control.call(QStringLiteral("CloseSessions"))).value(); }
    QStringList calls() { return QDBusReply<QStringList>(control.call(QStringLiteral("Calls"))).value(); }
    QStringList keysyms() { return QDBusReply<QStringList>(control.call(QStringLiteral("Keysyms"))).value(); }
};

struct Recorder
{
    QStringList events;
    std::function<void()> down(const QString& id) { return [this, id] { events << id + QStringLiteral(" down"); }; }
    std::function<void()> up(const QString& id) { return [this, id] { events << id + QStringLiteral(" up"); }; }
};

KeyCombo combo(const char* text) { return *KeyCombo::parse(QString::fromLatin1(text)); }
} // namespace

class TestPortal : public QObject
{
    Q_OBJECT
    Backend m_backend;
    QStringList m_journal;
    PortalGlobalShortcuts::Journal journal()
    {
        return [this](const QString& line) { m_journal << line; };
    }

private Q_SLOTS:
    void init() { m_journal.clear(); }

    void offersBothInterfaces()
    {
        QCOMPARE(PortalRequest::interfaceVersion(QDBusConnection::sessionBus(),
                                                 QStringLiteral("org.freedesktop.portal.GlobalShortcuts")),
                 1u);
        QVERIFY(PortalRequest::interfaceVersion(QDBusConnection::sessionBus(),
                                                QStringLiteral("org.freedesktop.portal.RemoteDesktop")) >= 1);
        QCOMPARE(PortalRequest::interfaceVersion(QDBusConnection::sessionBus(),
                                                 QStringLiteral("org.freedesktop.portal.Nothing")),
                 0u);
    }

    void triggers_data()
    {
        QTest::addColumn<QString>("combo");
        QTest::addColumn<QString>("trigger");
        QTest::newRow("default") << "alt+super+d" << "ALT+LOGO+d";
        QTest::newRow("all modifiers") << "ctrl+shift+alt+super+t" << "CTRL+ALT+SHIFT+LOGO+t";
        QTest::newRow("function key") << "F9" << "F9";
        QTest::newRow("named key") << "ctrl+space" << "CTRL+space";
    }
    void triggers()
    {
        QFETCH(QString, combo);
        QFETCH(QString, trigger);
        QCOMPARE(portalTrigger(*KeyCombo::parse(combo)), trigger);
    }

    // Activated is the key going down, Deactivated the key coming up; a second Activated while
    // held (after releases were seen) is auto-repeat.
    void pushToTalkThroughPortal()
    {
        Recorder r;
        PortalGlobalShortcuts shortcuts(QDBusConnection::sessionBus(), QStringLiteral("GNOME"), journal());
        QVERIFY(shortcuts.grabNamed(QStringLiteral("pushToTalk"), combo("alt+super+p"), r.down(QStringLiteral("pushToTalk")),
                                    r.up(QStringLiteral("pushToTalk"))));
        QVERIFY(shortcuts.grabNamed(QStringLiteral("toggleDictation"), combo("alt+super+d"),
                                    r.down(QStringLiteral("toggleDictation")), r.up(QStringLiteral("toggleDictation"))));
        QTRY_VERIFY(shortcuts.isBound());
        // Both in one dialog, each with its combination as the preferred trigger.
        QVERIFY(m_backend.calls().contains(
            QStringLiteral("GlobalShortcuts.BindShortcuts pushToTalk=ALT+LOGO+p toggleDictation=ALT+LOGO+d")));
        QVERIFY(!shortcuts.isConfirmed());

        QVERIFY(m_backend.press(QStringLiteral("pushToTalk")) >= 1);
        QTRY_COMPARE(r.events, QStringList{QStringLiteral("pushToTalk down")});
        QVERIFY(shortcuts.isConfirmed());
        m_backend.release(QStringLiteral("pushToTalk"));
        QTRY_COMPARE(r.events.size(), 2);
        QCOMPARE(r.events.last(), QStringLiteral("pushToTalk up"));

        m_backend.press(QStringLiteral("toggleDictation"));
        m_backend.press(QStringLiteral("toggleDictation"));
        m_backend.release(QStringLiteral("toggleDictation"));
        QTRY_COMPARE(r.events.size(), 4);
        QCOMPARE(r.events.mid(2), (QStringList{QStringLiteral("toggleDictation down"), QStringLiteral("toggleDictation up")}));
        QVERIFY(!shortcuts.isTogglingWithoutRelease());
        QVERIFY(m_journal.join(QLatin1Char('\n')).contains(QStringLiteral("raccourci reçu : pushToTalk")));
    }

    // Plasma 5.27: Activated only. The second press releases and presses again, so a hold-to-talk
    // shortcut starts on one press and stops on the next; the journal says so once.
    void withoutReleaseEachPressToggles()
    {
        Recorder r;
        PortalGlobalShortcuts shortcuts(QDBusConnection::sessionBus(), QStringLiteral("KDE"), journal());
        QVERIFY(shortcuts.grabNamed(QStringLiteral("pushToTalk"), combo("alt+super+p"), r.down(QStringLiteral("p")),
                                    r.up(QStringLiteral("p"))));
        QTRY_VERIFY(shortcuts.isBound());
        m_backend.press(QStringLiteral("pushToTalk"));
        QTRY_COMPARE(r.events.size(), 1);
        m_backend.press(QStringLiteral("pushToTalk"));
        m_backend.press(QStringLiteral("pushToTalk"));
        const QStringList expected{QStringLiteral("p down"), QStringLiteral("p up"), QStringLiteral("p down"),
                                   QStringLiteral("p up"), QStringLiteral("p down")};
        QTRY_COMPARE(r.events, expected);
        QVERIFY(shortcuts.isTogglingWithoutRelease());
        QCOMPARE(m_journal.filter(QStringLiteral("ne signale pas le relâchement")).size(), 1);
        QVERIFY(shortcuts.status().contains(QStringLiteral("basculent")));
    }

    // On KDE, kglobalaccel's own release signal stands for the Deactivated its portal never sends.
    void kdeReleaseFromKglobalaccel()
    {
        Recorder r;
        PortalGlobalShortcuts shortcuts(QDBusConnection::sessionBus(), QStringLiteral("KDE"), journal());
        QVERIFY(shortcuts.grabNamed(QStringLiteral("pushToTalk"), combo("alt+super+p"), r.down(QStringLiteral("p")),
                                    r.up(QStringLiteral("p"))));
        QTRY_VERIFY(shortcuts.isBound());
        QDBusConnection kglobalaccel =
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("kglobalaccel"));
        const auto released = [&](const QString& id) {
            QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/component/token_ovra"),
                                                             QStringLiteral("org.kde.kglobalaccel.Component"),
                                                             QStringLiteral("globalShortcutReleased"));
            signal << QStringLiteral("token_ovra") << id << qlonglong(0);
            QVERIFY(kglobalaccel.send(signal));
        };
        m_backend.press(QStringLiteral("pushToTalk"));
        QTRY_COMPARE(r.events.size(), 1);
        released(QStringLiteral("someoneElse"));
        released(QStringLiteral("pushToTalk"));
        QTRY_COMPARE(r.events.size(), 2);
        m_backend.press(QStringLiteral("pushToTalk"));
        QTRY_COMPARE(r.events.size(), 3);
        released(QStringLiteral("pushToTalk"));
        const QStringList expected{QStringLiteral("p down"), QStringLiteral("p up"), QStringLiteral("p down"),
                                   QStringLiteral("p up")};
        QTRY_COMPARE(r.events, expected);
        QVERIFY(!shortcuts.isTogglingWithoutRelease());
        QDBusConnection::disconnectFromBus(QStringLiteral("kglobalaccel"));
    }

    // The user refuses the dialog: unavailable with what to do, reported to whoever grabbed;
    // binding a shortcut again (the user changed it) asks again.
    void refusedShortcutDialog()
    {
        Recorder r;
        m_backend.refuseNext(QStringLiteral("BindShortcuts"));
        PortalGlobalShortcuts shortcuts(QDBusConnection::sessionBus(), QStringLiteral("GNOME"), journal());
        QSignalSpy lost(&shortcuts, &PortalGlobalShortcuts::unavailable);
        QStringList reported;
        shortcuts.setLostHandler([&](const QString& message) { reported << message; });
        QVERIFY(shortcuts.grabNamed(QStringLiteral("toggleDictation"), combo("alt+super+d"), r.down(QStringLiteral("t")),
                                    r.up(QStringLiteral("t"))));
        QTRY_COMPARE(lost.size(), 1);
        QVERIFY(!shortcuts.isAvailable());
        QVERIFY(shortcuts.problem().contains(QStringLiteral("refusés")));
        QVERIFY(shortcuts.problem().contains(QStringLiteral("ovra toggle")));
        QCOMPARE(reported, QStringList{shortcuts.problem()});

        QVERIFY(shortcuts.grabNamed(QStringLiteral("toggleDictation"), combo("ctrl+alt+d"), r.down(QStringLiteral("t")),
                                    r.up(QStringLiteral("t"))));
        QTRY_VERIFY(shortcuts.isBound());
        QVERIFY(shortcuts.isAvailable());
        QVERIFY(m_backend.calls().contains(QStringLiteral("GlobalShortcuts.BindShortcuts toggleDictation=CTRL+ALT+d")));
        m_backend.press(QStringLiteral("toggleDictation"));
        QTRY_COMPARE(r.events, QStringList{QStringLiteral("t down")});
    }

    // The desktop ends the sessions (the user revoked the grant): both concerns say so; binding
    // again opens a new shortcut session.
    void desktopClosesSessions()
    {
        Recorder r;
        PortalGlobalShortcuts shortcuts(QDBusConnection::sessionBus(), QStringLiteral("GNOME"), journal());
        QVERIFY(shortcuts.grabNamed(QStringLiteral("toggleDictation"), combo("alt+super+d"), r.down(QStringLiteral("t")),
                                    r.up(QStringLiteral("t"))));
        QTRY_VERIFY(shortcuts.isBound());
        QString token;
        RemoteDesktopKeySynthesizer keys(QDBusConnection::sessionBus(),
                                         {[&] { return token; }, [&](const QString& t) { token = t; }}, journal());
        auto task = keys.start();
        QVERIFY(QCoro::waitFor(task));

        QVERIFY(m_backend.closeSessions() >= 2);
        QTRY_VERIFY(!shortcuts.isAvailable());
        QTRY_VERIFY(!keys.isTrusted());
        QVERIFY(shortcuts.problem().contains(QStringLiteral("fermé la session")));
        QVERIFY(keys.problem().contains(QStringLiteral("presse-papiers")));

        QVERIFY(shortcuts.grabNamed(QStringLiteral("toggleDictation"), combo("alt+super+d"), r.down(QStringLiteral("t")),
                                    r.up(QStringLiteral("t"))));
        QTRY_VERIFY(shortcuts.isBound());
        m_backend.press(QStringLiteral("toggleDictation"));
        QTRY_COMPARE(r.events, QStringList{QStringLiteral("t down")});
    }

    void chordKeysyms_data()
    {
        QTest::addColumn<int>("chord");
        QTest::addColumn<QStringList>("sent");
        const QStringList ctrlV{"ffe3:1", "76:1", "76:0", "ffe3:0"};
        QTest::newRow("paste") << int(KeyChord::paste) << ctrlV;
        QTest::newRow("terminal paste") << int(KeyChord::terminalPaste)
                                        << QStringList{"ffe3:1", "ffe1:1", "76:1", "76:0", "ffe1:0", "ffe3:0"};
        QTest::newRow("copy") << int(KeyChord::copy) << QStringList{"ffe3:1", "63:1", "63:0", "ffe3:0"};
        QTest::newRow("return") << int(KeyChord::returnKey) << QStringList{"ff0d:1", "ff0d:0"};
    }
    // The chord reaches the portal as keysyms, pressed in order and released in reverse.
    void chordKeysyms()
    {
        QFETCH(int, chord);
        QFETCH(QStringList, sent);
        QString token;
        RemoteDesktopKeySynthesizer keys(QDBusConnection::sessionBus(),
                                         {[&] { return token; }, [&](const QString& t) { token = t; }}, journal());
        QVERIFY(!keys.isTrusted());
        auto task = keys.start();
        QVERIFY(QCoro::waitFor(task));
        QVERIFY(keys.isTrusted());
        const qsizetype before = m_backend.keysyms().size();
        keys.post(KeyChord(chord));
        QTRY_COMPARE(m_backend.keysyms().size(), before + sent.size());
        QCOMPARE(m_backend.keysyms().mid(before), sent);
    }

    // The grant is asked for once: the token of the first start goes back with the second.
    void restoreTokenReusedOnNextStart()
    {
        QString token;
        const RemoteDesktopKeySynthesizer::TokenStore store{[&] { return token; },
                                                           [&](const QString& t) { token = t; }};
        const QString selectDevices = QStringLiteral("client RemoteDesktop.SelectDevices ");
        {
            RemoteDesktopKeySynthesizer first(QDBusConnection::sessionBus(), store, journal());
            auto task = first.start();
            QVERIFY(QCoro::waitFor(task));
        }
        QVERIFY(!token.isEmpty());
        QCOMPARE(m_backend.calls().filter(selectDevices).constLast(), selectDevices + QStringLiteral("persist_mode=2 types=1"));
        const QString saved = token;
        RemoteDesktopKeySynthesizer second(QDBusConnection::sessionBus(), store, journal());
        auto task = second.start();
        QVERIFY(QCoro::waitFor(task));
        QCOMPARE(m_backend.calls().filter(selectDevices).constLast(),
                 selectDevices + QStringLiteral("persist_mode=2 restore_token=") + saved + QStringLiteral(" types=1"));
        QVERIFY(m_journal.filter(QStringLiteral("accord précédent réutilisé")).size() == 1);
    }

    // Refused: untrusted with what to do, and a chord sends nothing.
    void refusedKeyboard()
    {
        QString token = QStringLiteral("0c0ffee0-0000-4000-8000-999999999999");
        RemoteDesktopKeySynthesizer keys(QDBusConnection::sessionBus(),
                                         {[&] { return token; }, [&](const QString& t) { token = t; }}, journal());
        m_backend.refuseNext(QStringLiteral("Start"));
        auto task = keys.start();
        const auto started = QCoro::waitFor(task);
        QVERIFY(!started);
        QVERIFY(started.error().contains(QStringLiteral("refusé")));
        QVERIFY(started.error().contains(QStringLiteral("presse-papiers")));
        QVERIFY(!keys.isTrusted());
        QVERIFY(token.isEmpty());
        const qsizetype before = m_backend.keysyms().size();
        keys.post(KeyChord::paste);
        QTest::qWait(50);
        QCOMPARE(m_backend.keysyms().size(), before);
    }

    // Last: the portal leaves the bus; both concerns report themselves unavailable.
    void portalDisappears()
    {
        Recorder r;
        PortalGlobalShortcuts shortcuts(QDBusConnection::sessionBus(), QStringLiteral("GNOME"), journal());
        QVERIFY(shortcuts.grabNamed(QStringLiteral("toggleDictation"), combo("alt+super+d"), r.down(QStringLiteral("t")),
                                    r.up(QStringLiteral("t"))));
        QTRY_VERIFY(shortcuts.isBound());
        QString token;
        RemoteDesktopKeySynthesizer keys(QDBusConnection::sessionBus(),
                                         {[&] { return token; }, [&](const QString& t) { token = t; }}, journal());
        auto task = keys.start();
        QVERIFY(QCoro::waitFor(task));

        const qint64 pid = qEnvironmentVariableIntValue("OVRA_PORTAL_PID");
        QVERIFY(pid > 0);
        QCOMPARE(::kill(pid_t(pid), SIGTERM), 0);
        QTRY_VERIFY(!shortcuts.isAvailable());
        QTRY_VERIFY(!keys.isTrusted());
        QVERIFY(shortcuts.problem().contains(QStringLiteral("quitté")));
        // Gone is gone: a grab made now fails at once instead of waiting for a dialog.
        QVERIFY(keys.problem().contains(QStringLiteral("presse-papiers")));
        keys.post(KeyChord::paste);
        QVERIFY(!shortcuts.grabNamed(QStringLiteral("pushToTalk"), combo("alt+super+p"), {}, {}));
        RemoteDesktopKeySynthesizer late(QDBusConnection::sessionBus(), {}, journal());
        auto lateTask = late.start();
        QVERIFY(!QCoro::waitFor(lateTask));
        QVERIFY(!late.isTrusted());
    }
};

QTEST_GUILESS_MAIN(TestPortal)
#include "tst_portal.moc"
