#include "dictation/MacPrimaryShortcutHandler.h"
#include "dictation/AppModeSelector.h"
#include "dictation/ShortcutRegistry.h"
#include "fakes/FakeDictationControl.h"
#include "fakes/FakeGlobalKeyboard.h"
#include "store/AppSettingsKeys.h"
#include "store/DebugLog.h"
#include "store/Settings.h"

#include <QTemporaryDir>
#include <QTest>

namespace {

struct CountingSelector : AppModeSelector
{
    int applied = 0;
    void applyFrontmost() override { ++applied; }
};

const QString kFlowLine = QStringLiteral("[FLOW] MAC raccourci : autre touche pendant le maintien → départ annulé");

} // namespace

class ShortcutHandlerTest : public QObject
{
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Settings> m_settings;
    std::unique_ptr<DebugLog> m_log;
    FakeGlobalKeyboard m_keyboard;
    std::unique_ptr<FakeDictationControl> m_dictation;
    CountingSelector m_selector;
    TranscriptionMode m_mode;
    double m_now = 1000;
    std::unique_ptr<MacPrimaryShortcutHandler> m_handler;

    void setPrimaryMode(const QString& raw) { m_settings->setValue(AppSettingsKey::primaryShortcutMode, raw); }
    // Presses the primary shortcut for `held` seconds, then leaves `after` seconds before the next event.
    void tap(double held, double after = 1.0)
    {
        m_handler->primaryKeyDown();
        QCoreApplication::processEvents();
        m_now += held;
        m_handler->primaryKeyUp();
        QCoreApplication::processEvents();
        m_now += after;
    }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_settings = std::make_unique<Settings>(m_dir->filePath(QStringLiteral("config")));
        m_log = std::make_unique<DebugLog>(m_dir->path());
        m_keyboard = FakeGlobalKeyboard{};
        m_dictation = std::make_unique<FakeDictationControl>();
        m_selector.applied = 0;
        m_mode = TranscriptionMode{};
        m_mode.name = QStringLiteral("Courriel");
        m_handler = std::make_unique<MacPrimaryShortcutHandler>(
            *m_settings, *m_log, m_keyboard,
            [this](const QUuid& id) { return id == m_mode.id ? std::optional(m_mode) : std::nullopt; },
            [this] { return m_now; });
        m_handler->attach(m_dictation.get());
        m_handler->setAppModeSelector(&m_selector);
    }

    void cleanup()
    {
        // Let starts a test left pending finish before their controller goes.
        m_handler.reset();
        m_dictation->release();
        QCoreApplication::processEvents();
        m_log.reset();
        m_settings.reset();
    }

    void unknownPrimaryModeReadsAsToggle_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<int>("mode");
        QTest::newRow("missing") << QVariant() << int(MacPrimaryShortcutMode::toggle);
        QTest::newRow("garbage") << QVariant(QStringLiteral("maintenir")) << int(MacPrimaryShortcutMode::toggle);
        QTest::newRow("not a string") << QVariant(3) << int(MacPrimaryShortcutMode::toggle);
        QTest::newRow("toggle") << QVariant(QStringLiteral("toggle")) << int(MacPrimaryShortcutMode::toggle);
        QTest::newRow("push to talk") << QVariant(QStringLiteral("pushToTalk")) << int(MacPrimaryShortcutMode::pushToTalk);
        QTest::newRow("hybrid") << QVariant(QStringLiteral("hybrid")) << int(MacPrimaryShortcutMode::hybrid);
    }
    void unknownPrimaryModeReadsAsToggle()
    {
        QFETCH(QVariant, stored);
        QFETCH(int, mode);
        if (stored.isValid())
            m_settings->setValue(AppSettingsKey::primaryShortcutMode, stored);
        QCOMPARE(int(m_handler->primaryMode()), mode);
    }

    void toggleStartsThenStops()
    {
        m_handler->primaryKeyDown();
        // Auto-repeat while held gives no second start.
        m_handler->primaryKeyDown();
        m_handler->primaryKeyDown();
        m_now += 0.1;
        m_handler->primaryKeyUp();
        QCOMPARE(m_dictation->calls, (QStringList{"start:hotkey", "started"}));
        QCOMPARE(m_selector.applied, 1);
        m_now += 2;
        tap(0.1);
        QTRY_COMPARE(m_dictation->calls, (QStringList{"start:hotkey", "started", "stop"}));
    }

    void cooldownBetweenStarts()
    {
        // The controller stays idle (for instance its start failed): a second press 0.2 s
        // later is refused, one 0.5 s after the first is accepted.
        m_dictation->holdStarts = true;
        tap(0.1, 0.1);
        tap(0.1, 0.2);
        QCOMPARE(m_dictation->count("start:hotkey"), 1);
        tap(0.1);
        QCOMPARE(m_dictation->count("start:hotkey"), 2);
    }

    void busyControllerIgnoresThePrimaryKey_data()
    {
        QTest::addColumn<int>("state");
        QTest::newRow("transcribing") << int(RecordingState::transcribing);
        QTest::newRow("enhancing") << int(RecordingState::enhancing);
    }
    void busyControllerIgnoresThePrimaryKey()
    {
        QFETCH(int, state);
        for (const QString mode : {"toggle", "pushToTalk", "hybrid"}) {
            setPrimaryMode(mode);
            m_dictation->currentState = RecordingState(state);
            tap(0.7);
            m_handler->pushToTalkKeyDown();
            m_handler->pushToTalkKeyUp();
        }
        QCoreApplication::processEvents();
        QVERIFY2(m_dictation->calls.isEmpty(), qPrintable(m_dictation->calls.join(',')));
    }

    void hybridShortTapKeepsRecordingLongPressStops()
    {
        setPrimaryMode(QStringLiteral("hybrid"));
        tap(0.3);
        QCOMPARE(m_dictation->calls, (QStringList{"start:hotkey", "started"}));
        // A later short press while recording stops.
        tap(0.1);
        QTRY_COMPARE(m_dictation->count("stop"), 1);

        m_dictation->calls.clear();
        m_dictation->currentState = RecordingState::finished;
        tap(0.6);
        QTRY_COMPARE(m_dictation->calls, (QStringList{"start:hotkey", "started", "stop"}));
        // Exactly the threshold counts as held.
        m_dictation->calls.clear();
        m_dictation->currentState = RecordingState::idle;
        tap(0.5);
        QTRY_COMPARE(m_dictation->calls, (QStringList{"start:hotkey", "started", "stop"}));
    }

    void pushToTalkStopWaitsForThePendingStart()
    {
        setPrimaryMode(QStringLiteral("pushToTalk"));
        m_dictation->holdStarts = true;
        tap(0.05);
        QCOMPARE(m_dictation->calls, QStringList{"start:hotkey"});
        m_dictation->release();
        QTRY_COMPARE(m_dictation->calls, (QStringList{"start:hotkey", "started", "stop"}));
    }

    void dedicatedPushToTalkKey()
    {
        m_handler->pushToTalkKeyDown();
        m_handler->pushToTalkKeyDown();
        m_now += 2;
        m_handler->pushToTalkKeyUp();
        QTRY_COMPARE(m_dictation->calls, (QStringList{"start:hotkey", "started", "stop"}));
    }

    void otherKeyWithinTheWindowCancels_data()
    {
        QTest::addColumn<bool>("pushToTalkKey");
        QTest::addColumn<double>("delay");
        QTest::addColumn<bool>("cancelled");
        QTest::newRow("primary, 0.4 s") << false << 0.4 << true;
        QTest::newRow("primary, 0.99 s") << false << 0.99 << true;
        QTest::newRow("primary, 1.0 s") << false << 1.0 << false;
        QTest::newRow("primary, 1.5 s") << false << 1.5 << false;
        QTest::newRow("push-to-talk key, 0.2 s") << true << 0.2 << true;
    }
    void otherKeyWithinTheWindowCancels()
    {
        QFETCH(bool, pushToTalkKey);
        QFETCH(double, delay);
        QFETCH(bool, cancelled);
        pushToTalkKey ? m_handler->pushToTalkKeyDown() : m_handler->primaryKeyDown();
        QCOMPARE(m_keyboard.monitors.size(), size_t(1));
        m_now += delay;
        m_keyboard.typeKey();
        QCoreApplication::processEvents();
        QCOMPARE(m_dictation->count("cancel"), cancelled ? 1 : 0);
        QCOMPARE(m_log->contents().contains(kFlowLine), cancelled);
        if (cancelled)
            QVERIFY(m_keyboard.monitors.empty());
        pushToTalkKey ? m_handler->pushToTalkKeyUp() : m_handler->primaryKeyUp();
        QVERIFY(m_keyboard.monitors.empty());
    }

    void cancelWaitsForThePendingStart()
    {
        m_dictation->holdStarts = true;
        m_handler->primaryKeyDown();
        m_keyboard.typeKey();
        QCoreApplication::processEvents();
        QCOMPARE(m_dictation->calls, QStringList{"start:hotkey"});
        m_dictation->release();
        QTRY_COMPARE(m_dictation->calls, (QStringList{"start:hotkey", "started", "cancel"}));
    }

    // `ovra toggle` from a compositor binding: start, then stop, whatever the primary shortcut's
    // behaviour; no key is held, so typing right after the start cancels nothing.
    void commandToggleIgnoresThePrimaryBehaviour_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::newRow("toggle") << "toggle";
        QTest::newRow("push to talk") << "pushToTalk";
        QTest::newRow("hybrid") << "hybrid";
    }
    void commandToggleIgnoresThePrimaryBehaviour()
    {
        QFETCH(QString, mode);
        setPrimaryMode(mode);
        m_dictation->holdStarts = true;
        m_handler->toggleRequested();
        QVERIFY(m_keyboard.monitors.empty());
        m_keyboard.typeKey();
        // A second toggle before the recording began stops it once it has.
        m_handler->toggleRequested();
        QCOMPARE(m_dictation->calls, QStringList{"start:hotkey"});
        m_dictation->release();
        QTRY_COMPARE(m_dictation->calls, (QStringList{"start:hotkey", "started", "stop"}));
        m_dictation->calls.clear();
        m_dictation->currentState = RecordingState::finished;
        m_dictation->holdStarts = false;
        m_now += 2;
        m_handler->toggleRequested();
        m_handler->cancelRequested();
        QTRY_COMPARE(m_dictation->calls, (QStringList{"start:hotkey", "started", "cancel"}));
        // Nothing to stop or start while the previous dictation is being transcribed.
        m_dictation->calls.clear();
        m_dictation->currentState = RecordingState::transcribing;
        m_now += 2;
        m_handler->toggleRequested();
        QCoreApplication::processEvents();
        QCOMPARE(m_dictation->calls, QStringList{});
    }

    void keyAfterReleaseDoesNothing()
    {
        tap(0.1, 0.1);
        m_keyboard.typeKey();
        QCoreApplication::processEvents();
        QCOMPARE(m_dictation->count("cancel"), 0);
    }

    void transformSelectionOnRelease()
    {
        m_handler->transformSelectionKeyUp();
        QCOMPARE(m_dictation->calls,
                 QStringList{"transform:Corrige l'orthographe, la grammaire et la ponctuation. Ne change ni le sens ni le ton."});
    }

    void modeShortcut_data()
    {
        QTest::addColumn<int>("state");
        QTest::addColumn<bool>("existing");
        QTest::addColumn<QStringList>("calls");
        QTest::newRow("idle") << int(RecordingState::idle) << true
                              << QStringList{"mode:Courriel", "start:hotkey", "started"};
        QTest::newRow("finished") << int(RecordingState::finished) << true
                                  << QStringList{"mode:Courriel", "start:hotkey", "started"};
        QTest::newRow("recording") << int(RecordingState::recording) << true << QStringList{"mode:Courriel"};
        QTest::newRow("transcribing") << int(RecordingState::transcribing) << true << QStringList{"mode:Courriel"};
        QTest::newRow("deleted mode") << int(RecordingState::idle) << false << QStringList{};
    }
    void modeShortcut()
    {
        QFETCH(int, state);
        QFETCH(bool, existing);
        QFETCH(QStringList, calls);
        m_dictation->currentState = RecordingState(state);
        // No cooldown on this path: a start just before does not block it.
        m_handler->pushToTalkKeyDown();
        m_handler->pushToTalkKeyUp();
        QCoreApplication::processEvents();
        m_dictation->calls.clear();
        m_dictation->currentState = RecordingState(state);
        m_selector.applied = 0;
        m_handler->modeShortcutKeyDown(existing ? m_mode.id : QUuid::createUuid());
        QTRY_COMPARE(m_dictation->calls, calls);
        QCOMPARE(m_selector.applied, 0);
        QVERIFY(m_keyboard.monitors.empty());
    }

    void escapeCancelsWhileInstalled()
    {
        m_dictation->currentState = RecordingState::recording;
        m_handler->installEscapeMonitors();
        m_keyboard.typeKey(false);
        QCoreApplication::processEvents();
        QCOMPARE(m_dictation->count("cancel"), 0);
        m_keyboard.typeKey(true);
        QTRY_COMPARE(m_dictation->count("cancel"), 1);
        m_handler->removeEscapeMonitors();
        QVERIFY(m_keyboard.monitors.empty());
    }

    void nothingWithoutAController()
    {
        m_handler->attach(nullptr);
        tap(0.7);
        m_handler->pushToTalkKeyDown();
        m_handler->pushToTalkKeyUp();
        m_handler->transformSelectionKeyUp();
        m_handler->modeShortcutKeyDown(m_mode.id);
        QCoreApplication::processEvents();
        QVERIFY(m_dictation->calls.isEmpty());
        QCOMPARE(m_selector.applied, 0);
    }

    void registrationGrabsDefaultsOnceEach()
    {
        ShortcutBindings bindings(*m_settings);
        ShortcutRegistry registry(m_keyboard, bindings, *m_log);
        QVERIFY(bindings.set(ShortcutName::forMode(m_mode.id), *KeyCombo::parse(QStringLiteral("ctrl+alt+1"))));
        m_handler->registerActions(registry, {m_mode.id});
        m_handler->registerModeShortcut(registry, m_mode.id);
        QCOMPARE(m_keyboard.grabs.size(), 3);
        QVERIFY(m_keyboard.isGrabbed(QStringLiteral("alt+super+d")));
        QVERIFY(m_keyboard.isGrabbed(QStringLiteral("alt+super+t")));
        m_keyboard.press(QStringLiteral("alt+super+d"), true);
        m_keyboard.press(QStringLiteral("alt+super+d"), false);
        m_keyboard.press(QStringLiteral("alt+super+t"), true);
        m_keyboard.press(QStringLiteral("alt+super+t"), false);
        m_now += 2;
        m_dictation->currentState = RecordingState::idle;
        m_keyboard.press(QStringLiteral("ctrl+alt+1"), true);
        QTRY_COMPARE(m_dictation->calls.size(), 6);
        QCOMPARE(m_dictation->calls.mid(0, 3),
                 (QStringList{"start:hotkey", "started", "transform:" + QString::fromUtf8(MacPrimaryShortcutHandler::kTransformInstruction)}));
        QCOMPARE(m_dictation->calls.mid(3), (QStringList{"mode:Courriel", "start:hotkey", "started"}));
    }
};

QTEST_GUILESS_MAIN(ShortcutHandlerTest)
#include "tst_shortcuthandler.moc"
