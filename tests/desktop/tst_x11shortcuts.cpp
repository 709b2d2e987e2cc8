#include "X11Helpers.h"
#include "dictation/MacPrimaryShortcutHandler.h"
#include "dictation/ShortcutRegistry.h"
#include "fakes/FakeDictationControl.h"
#include "platform/linux/x11/X11Connection.h"
#include "platform/linux/x11/X11Keyboard.h"
#include "store/AppSettingsKeys.h"
#include "store/DebugLog.h"
#include "store/Settings.h"

#include <QGuiApplication>
#include <QSignalSpy>
#include <QTemporaryDir>

namespace {

// xdotool's own command chain: "keydown alt+super+d sleep 0.3 keyup alt+super+d".
void xdotool(const QString& commands)
{
    X11Test::run(QStringLiteral("xdotool"), commands.split(QLatin1Char(' ')));
}

} // namespace

class X11ShortcutsTest : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    std::unique_ptr<X11Connection> m_x;
    std::unique_ptr<X11Keyboard> m_keyboard;
    std::unique_ptr<Settings> m_settings;
    std::unique_ptr<DebugLog> m_log;
    std::unique_ptr<ShortcutBindings> m_bindings;
    std::unique_ptr<ShortcutRegistry> m_registry;
    std::unique_ptr<FakeDictationControl> m_dictation;
    std::unique_ptr<MacPrimaryShortcutHandler> m_handler;

    void setPrimaryMode(const QString& raw) { m_settings->setValue(AppSettingsKey::primaryShortcutMode, raw); }
    // Waits past the cooldown and lets the last events arrive.
    void settle() { QTest::qWait(600); }

private Q_SLOTS:
    void initTestCase()
    {
        m_x = X11Connection::open();
        QVERIFY(m_x);
        m_keyboard = std::make_unique<X11Keyboard>(m_x.get());
        QVERIFY(m_keyboard->monitorsAvailable());
        m_settings = std::make_unique<Settings>(m_dir.filePath(QStringLiteral("config")));
        m_log = std::make_unique<DebugLog>(m_dir.path());
        m_bindings = std::make_unique<ShortcutBindings>(*m_settings);
        QVERIFY(m_bindings->set(ShortcutName::pushToTalk, *KeyCombo::parse(QStringLiteral("ctrl+alt+space"))));
        m_registry = std::make_unique<ShortcutRegistry>(*m_keyboard, *m_bindings, *m_log);
        m_dictation = std::make_unique<FakeDictationControl>();
        m_handler = std::make_unique<MacPrimaryShortcutHandler>(*m_settings, *m_log, *m_keyboard,
                                                                MacPrimaryShortcutHandler::ModeLookup{});
        m_handler->attach(m_dictation.get());
        m_handler->registerActions(*m_registry, {});
        QVERIFY(m_registry->isActive(ShortcutName::toggleDictation));
        QVERIFY(m_registry->isActive(ShortcutName::pushToTalk));
    }

    void init()
    {
        m_dictation->calls.clear();
        m_dictation->currentState = RecordingState::idle;
        settle();
    }

    void toggle()
    {
        setPrimaryMode(QStringLiteral("toggle"));
        xdotool(QStringLiteral("key alt+super+d"));
        QTRY_COMPARE(m_dictation->calls, (QStringList{"start:hotkey", "started"}));
        settle();
        xdotool(QStringLiteral("key alt+super+d"));
        QTRY_COMPARE(m_dictation->calls, (QStringList{"start:hotkey", "started", "stop"}));
    }

    void pushToTalkHeldThroughAutoRepeat()
    {
        setPrimaryMode(QStringLiteral("pushToTalk"));
        xdotool(QStringLiteral("keydown alt+super+d sleep 1.2 keyup alt+super+d"));
        QTRY_COMPARE(m_dictation->calls, (QStringList{"start:hotkey", "started", "stop"}));
    }

    void dedicatedPushToTalkShortcut()
    {
        xdotool(QStringLiteral("keydown ctrl+alt+space sleep 0.3 keyup ctrl+alt+space"));
        QTRY_COMPARE(m_dictation->calls, (QStringList{"start:hotkey", "started", "stop"}));
    }

    void hybrid()
    {
        setPrimaryMode(QStringLiteral("hybrid"));
        xdotool(QStringLiteral("key alt+super+d"));
        QTRY_COMPARE(m_dictation->calls, (QStringList{"start:hotkey", "started"}));
        settle();
        QCOMPARE(m_dictation->count("stop"), 0);
        xdotool(QStringLiteral("key alt+super+d"));
        QTRY_COMPARE(m_dictation->count("stop"), 1);

        m_dictation->calls.clear();
        m_dictation->currentState = RecordingState::finished;
        settle();
        xdotool(QStringLiteral("keydown alt+super+d sleep 0.7 keyup alt+super+d"));
        QTRY_COMPARE(m_dictation->calls, (QStringList{"start:hotkey", "started", "stop"}));
    }

    void otherKeyWhileHeldCancels()
    {
        setPrimaryMode(QStringLiteral("toggle"));
        xdotool(QStringLiteral("keydown alt+super+d sleep 0.2 key x sleep 0.1 keyup alt+super+d"));
        QTRY_COMPARE(m_dictation->calls, (QStringList{"start:hotkey", "started", "cancel"}));
        QTRY_VERIFY(m_log->contents().contains(
            QStringLiteral("[FLOW] MAC raccourci : autre touche pendant le maintien → départ annulé")));

        m_dictation->calls.clear();
        m_dictation->currentState = RecordingState::idle;
        settle();
        xdotool(QStringLiteral("keydown alt+super+d sleep 1.2 key x keyup alt+super+d"));
        QTRY_COMPARE(m_dictation->calls, (QStringList{"start:hotkey", "started"}));
        QTest::qWait(200);
        QCOMPARE(m_dictation->count("cancel"), 0);
    }

    void escapeWhileRecording()
    {
        m_dictation->currentState = RecordingState::recording;
        m_handler->installEscapeMonitors();
        xdotool(QStringLiteral("key a"));
        QTest::qWait(200);
        QCOMPARE(m_dictation->count("cancel"), 0);
        xdotool(QStringLiteral("key Escape"));
        QTRY_COMPARE(m_dictation->count("cancel"), 1);
        m_handler->removeEscapeMonitors();
        xdotool(QStringLiteral("key Escape"));
        QTest::qWait(200);
        QCOMPARE(m_dictation->count("cancel"), 1);
    }

    void combinationHeldByAnotherProgram()
    {
        // Another X client takes Ctrl+Alt+M before us.
        auto other = X11Connection::open();
        X11Keyboard otherKeyboard(other.get());
        const KeyCombo combo = *KeyCombo::parse(QStringLiteral("ctrl+alt+m"));
        QVERIFY(otherKeyboard.grab(combo, [] {}, [] {}));

        const QString mode = ShortcutName::forMode(QUuid::createUuid());
        QVERIFY(m_bindings->set(mode, combo));
        QSignalSpy unavailable(m_registry.get(), &ShortcutRegistry::shortcutUnavailable);
        m_registry->onKeyDown(mode, [] {});
        QCOMPARE(unavailable.size(), 1);
        QCOMPARE(unavailable[0][1].toString(), QStringLiteral("Le raccourci Ctrl+Alt+M est déjà pris par un autre programme."));
        QVERIFY(m_log->contents().contains(QStringLiteral("MAC raccourci : ") + mode + QStringLiteral(" indisponible")));

        setPrimaryMode(QStringLiteral("toggle"));
        xdotool(QStringLiteral("key alt+super+d"));
        QTRY_COMPARE(m_dictation->calls, (QStringList{"start:hotkey", "started"}));
    }
};

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    X11ShortcutsTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_x11shortcuts.moc"
