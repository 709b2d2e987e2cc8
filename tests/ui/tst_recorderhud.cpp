// The recorder panel: what it shows per state, the voice wave's formula, where each style sits,
// and the window it makes (never focused, on top, frameless).
#include "UiRig.h"
#include "dictation/RecorderHUDContent.h"
#include "dictation/RecorderHUDStyle.h"
#include "dictation/VoiceWave.h"
#include "platform/FloatingPanelSupport.h"
#include "store/AppSettingsKeys.h"
#include "ui/MacRecorderHUD.h"
#include "ui/VoiceWaveWidget.h"

#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QTest>
#include <QToolButton>
#include <cmath>

Q_DECLARE_METATYPE(RecordingState)
Q_DECLARE_METATYPE(RecorderHUDStyle)

namespace {
struct RecordingPanelSupport : FloatingPanelSupport
{
    std::optional<QRect> focused;
    QList<quintptr> marked;
    std::optional<QRect> focusedWindowFrame() override { return focused; }
    void markAsFloatingPanel(quintptr window) override { marked << window; }
};

QString describe(const QList<RecorderHUDItem>& items)
{
    QStringList out;
    for (const RecorderHUDItem& i : items) {
        switch (i.kind) {
        case RecorderHUDItem::Kind::wave: out << "wave"; break;
        case RecorderHUDItem::Kind::stopButton: out << "stop[" + i.help + "]"; break;
        case RecorderHUDItem::Kind::modeMenu: out << "modes[" + i.help + "]"; break;
        case RecorderHUDItem::Kind::settingsButton: out << "settings[" + i.text + "]"; break;
        case RecorderHUDItem::Kind::text: out << (i.symbol.isEmpty() ? QString() : QString(i.symbol + " ")) + i.text; break;
        }
    }
    return out.join(" | ");
}
} // namespace

class RecorderHUDTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void contentPerState_data()
    {
        QTest::addColumn<RecordingState>("state");
        QTest::addColumn<QString>("content");
        QTest::newRow("recording")
            << RecordingState::recording
            << "wave | stop[Arrêter et transcrire (Échap pour annuler)] | "
               "modes[Changer de mode (résolu à l'arrêt de la dictée)] | settings[Ouvrir les réglages]";
        QTest::newRow("transcribing") << RecordingState::transcribing << "Transcription…";
        QTest::newRow("enhancing") << RecordingState::enhancing << "Amélioration IA…";
        QTest::newRow("finished") << RecordingState::finished << "emblem-ok Collé !";
        QTest::newRow("idle") << RecordingState::idle << "Ovra";
    }
    void contentPerState()
    {
        QFETCH(RecordingState, state);
        QFETCH(QString, content);
        QCOMPARE(describe(RecorderHUDContent::items(state)), content);
    }

    void waveFormula_data()
    {
        QTest::addColumn<double>("t");
        QTest::addColumn<int>("i");
        QTest::addColumn<double>("level");
        QTest::addColumn<double>("height");
        // s = 0.5 + 0.5 sin(7t + 0.9i); h = 3 + 2.5 s + 16 level (0.4 + 0.6 s)
        QTest::newRow("silence, s = 0.5") << 0.0 << 0 << 0.0 << 4.25;
        QTest::newRow("silence, crest") << (M_PI / 2) / 7 << 0 << 0.0 << 5.5;
        QTest::newRow("silence, trough") << (3 * M_PI / 2) / 7 << 0 << 0.0 << 3.0;
        QTest::newRow("full level, crest") << (M_PI / 2) / 7 << 0 << 1.0 << 21.5;
        QTest::newRow("full level, trough") << (3 * M_PI / 2) / 7 << 0 << 1.0 << 9.4;
        QTest::newRow("half level, bar 3") << 0.0 << 3 << 0.5
                                           << 3 + 2.5 * (0.5 + 0.5 * std::sin(2.7)) +
                                                  8 * (0.4 + 0.6 * (0.5 + 0.5 * std::sin(2.7)));
        QTest::newRow("level above 1 is clamped") << (M_PI / 2) / 7 << 0 << 7.0 << 21.5;
        QTest::newRow("negative level is clamped") << (M_PI / 2) / 7 << 0 << -2.0 << 5.5;
    }
    void waveFormula()
    {
        QFETCH(double, t);
        QFETCH(int, i);
        QFETCH(double, level);
        QFETCH(double, height);
        QVERIFY2(std::abs(VoiceWave::barHeight(t, i, level) - height) < 1e-9,
                 qPrintable(QString::number(VoiceWave::barHeight(t, i, level))));
        QCOMPARE(VoiceWave::opacity(0), 0.55);
        QCOMPARE(VoiceWave::opacity(1), 1.0);
    }

    void levelChangesRampLinearlyOver50ms()
    {
        VoiceWave wave;
        wave.setTarget(0.8);
        wave.advance(0.025);
        QVERIFY(std::abs(wave.level() - 0.4) < 1e-9);
        wave.advance(0.025);
        QVERIFY(std::abs(wave.level() - 0.8) < 1e-9);
        wave.advance(1.0);
        QVERIFY(std::abs(wave.level() - 0.8) < 1e-9);
        // A smaller change also takes the whole ramp; a broken meter reads as silence.
        wave.setTarget(0.7);
        wave.advance(0.025);
        QVERIFY(std::abs(wave.level() - 0.75) < 1e-9);
        wave.setTarget(std::nan(""));
        wave.advance(0.05);
        QCOMPARE(wave.level(), 0.0);
        wave.advance(-1);
        QCOMPARE(wave.heights(0).size(), VoiceWave::kBarCount);
    }

    void styleGeometry_data()
    {
        QTest::addColumn<QString>("raw");
        QTest::addColumn<QRect>("screen");
        QTest::addColumn<QRect>("visible");
        QTest::addColumn<QRect>("panel");
        const QRect screen(0, 0, 1280, 800);
        const QRect visible(0, 0, 1280, 770); // a 30 px panel at the bottom
        QTest::newRow("bottom") << "bottom" << screen << visible << QRect(510, 770 - 84 - 64, 260, 64);
        QTest::newRow("notch") << "notch" << screen << visible << QRect(490, 46 - 44, 300, 44);
        QTest::newRow("missing means bottom") << "" << screen << visible << QRect(510, 622, 260, 64);
        QTest::newRow("unknown means bottom") << "Notch" << screen << visible << QRect(510, 622, 260, 64);
        QTest::newRow("second screen, bottom")
            << "bottom" << QRect(1280, 0, 1920, 1080) << QRect(1280, 32, 1920, 1048)
            << QRect(1280 + 830, 1080 - 84 - 64, 260, 64);
        QTest::newRow("second screen, notch")
            << "notch" << QRect(1280, 0, 1920, 1080) << QRect(1280, 32, 1920, 1048) << QRect(1280 + 810, 2, 300, 44);
    }
    void styleGeometry()
    {
        QFETCH(QString, raw);
        QFETCH(QRect, screen);
        QFETCH(QRect, visible);
        QFETCH(QRect, panel);
        const RecorderHUDStyle style = RecorderHUDStyles::fromRaw(raw);
        QCOMPARE(QRect(RecorderHUDStyles::origin(style, screen, visible), RecorderHUDStyles::contentSize(style)), panel);
    }

    void panelWindowNeverTakesTheFocus()
    {
        UiRig rig;
        rig.addMode("Normal", 0);
        RecordingPanelSupport support;
        MacRecorderHUD hud({*rig.store, rig.settings, support, [] { return 0.5; }});
        hud.attach(&rig.controller);
        QVERIFY(!hud.panel()); // created on first show
        hud.show();
        QWidget* panel = hud.panel();
        QVERIFY(panel && panel->isVisible());
        const Qt::WindowFlags flags = panel->windowFlags();
        QVERIFY(flags.testFlag(Qt::WindowDoesNotAcceptFocus));
        QVERIFY(flags.testFlag(Qt::WindowStaysOnTopHint));
        QVERIFY(flags.testFlag(Qt::FramelessWindowHint));
        QCOMPARE(flags & Qt::WindowType_Mask, Qt::Tool);
        QVERIFY(panel->testAttribute(Qt::WA_ShowWithoutActivating));
        QVERIFY(!panel->isActiveWindow());
        QCOMPARE(support.marked, QList<quintptr>{panel->winId()});
        for (QWidget* w : panel->findChildren<QWidget*>())
            QCOMPARE(w->focusPolicy(), Qt::NoFocus);
        hud.hide();
        QVERIFY(!panel->isVisible());
        hud.show();
        QCOMPARE(hud.panel(), panel); // reused
        hud.attach(nullptr);
    }

    void panelRowsFollowTheController()
    {
        UiRig rig;
        rig.addMode("Normal", 0);
        const TranscriptionMode mail = rig.addMode("Courriel", 1);
        RecordingPanelSupport support;
        MacRecorderHUD hud({*rig.store, rig.settings, support, [] { return 0.3; }});
        hud.attach(&rig.controller);
        hud.show();
        QWidget* panel = hud.panel();
        QCOMPARE(panel->findChild<QLabel*>("panelText")->text(), QStringLiteral("Ovra"));

        rig.startRecording();
        QTRY_VERIFY(panel->findChild<VoiceWaveWidget*>("voiceWave"));
        auto* stop = panel->findChild<QToolButton*>("stopButton");
        auto* modes = panel->findChild<QToolButton*>("modeMenu");
        QVERIFY(stop && modes && panel->findChild<QToolButton*>("settingsButton"));
        QCOMPARE(stop->toolTip(), RecorderHUDContent::stopHelp());
        QCOMPARE(modes->toolTip(), RecorderHUDContent::modeMenuHelp());
        QStringList names;
        for (QAction* a : modes->menu()->actions())
            names << a->text() + (a->isChecked() ? "*" : "");
        QCOMPARE(names, QStringList({"Normal*", "Courriel"}));
        // The mode chosen during the recording is the one used at stop.
        modes->menu()->actions().at(1)->trigger();
        QCOMPARE(rig.controller.activeModeID(), std::optional<QUuid>(mail.id));

        auto* wave = panel->findChild<VoiceWaveWidget*>("voiceWave");
        // Each frame reads the level; the ramp reaches it once 50 ms have passed.
        QTRY_VERIFY((wave->tick(), std::abs(wave->wave().level() - 0.3) < 1e-9));

        stop->click();
        QTRY_COMPARE(rig.controller.state(), RecordingState::finished);
        QTRY_COMPARE(panel->findChild<QLabel*>("panelText")->text(), QStringLiteral("Collé !"));
        hud.attach(nullptr);
    }

    void panelGoesToTheFocusedWindowsScreenInItsStyle()
    {
        UiRig rig;
        RecordingPanelSupport support;
        MacRecorderHUD hud({*rig.store, rig.settings, support, [] { return 0.0; }});
        QScreen* screen = QGuiApplication::primaryScreen();
        support.focused = QRect(screen->geometry().center(), QSize(10, 10));
        QCOMPARE(hud.targetScreen(), screen);
        support.focused = QRect(-50000, -50000, 10, 10); // nowhere: the primary screen
        QCOMPARE(hud.targetScreen(), screen);
        rig.settings.setValue(AppSettingsKey::hudStyle, "notch");
        hud.show();
        QCOMPARE(hud.panel()->size(), QSize(300, 44));
        QCOMPARE(hud.panel()->pos(), RecorderHUDStyles::origin(RecorderHUDStyle::notch, screen->geometry(),
                                                               screen->availableGeometry()));
        // A style changed while hidden applies at the next show.
        hud.hide();
        rig.settings.setValue(AppSettingsKey::hudStyle, "bottom");
        QCOMPARE(hud.panel()->size(), QSize(300, 44));
        hud.show();
        QCOMPARE(hud.panel()->size(), QSize(260, 64));
    }
};

QTEST_MAIN(RecorderHUDTest)
#include "tst_recorderhud.moc"
