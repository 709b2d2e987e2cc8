// The recorder panel on a real X server never takes the keyboard focus: the focused window (an
// xterm) keeps it while the panel shows, and after a click on the panel's stop button.
#include "X11Helpers.h"
#include "../ui/UiRig.h"
#include "platform/linux/x11/X11Connection.h"
#include "platform/linux/x11/X11FloatingPanelSupport.h"
#include "platform/linux/x11/X11FrontmostApplication.h"
#include "ui/MacRecorderHUD.h"

#include <QApplication>
#include <QToolButton>

class PanelFocusTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void focusStaysWithTheTargetWindow()
    {
        UiRig rig;
        rig.addMode("Normal", 0);
        std::unique_ptr<X11Connection> x = X11Connection::open();
        QVERIFY(x);
        X11FrontmostApplication frontmost(x.get());
        X11FloatingPanelSupport support(x.get(), frontmost);
        MacRecorderHUD hud({*rig.store, rig.settings, support, [] { return 0.4; }});
        hud.attach(&rig.controller);

        QProcess xterm;
        const QString target = X11Test::startXterm(xterm, "sleep 60");
        QVERIFY(!target.isEmpty());
        X11Test::focus(target);
        QTRY_COMPARE(X11Test::run("xdotool", {"getwindowfocus"}), target);
        // The panel goes to the screen of the focused window.
        QVERIFY(support.focusedWindowFrame().has_value());

        rig.startRecording();
        hud.show();
        QWidget* panel = hud.panel();
        QVERIFY(QTest::qWaitForWindowExposed(panel));
        const QString panelWindow = QString::number(panel->winId());
        QTRY_VERIFY(X11Test::run("xdotool", {"search", "--onlyvisible", "--name", "^Ovra — dictée$"})
                        .split('\n')
                        .contains(panelWindow));
        QCOMPARE(X11Test::run("xdotool", {"getwindowfocus"}), target);
        QVERIFY(X11Test::run("xprop", {"-id", panelWindow, "_NET_WM_WINDOW_TYPE"})
                    .contains("_NET_WM_WINDOW_TYPE_NOTIFICATION"));

        auto* stop = panel->findChild<QToolButton*>("stopButton");
        QVERIFY(stop);
        const QPoint at = stop->mapToGlobal(stop->rect().center());
        X11Test::run("xdotool", {"mousemove", "--sync", QString::number(at.x()), QString::number(at.y())});
        X11Test::run("xdotool", {"click", "1"});
        QTRY_VERIFY_WITH_TIMEOUT(rig.controller.state() != RecordingState::recording, 10000);
        QCOMPARE(rig.recorder.stops, 1);
        QCOMPARE(X11Test::run("xdotool", {"getwindowfocus"}), target);
        QVERIFY(!panel->isActiveWindow());

        hud.attach(nullptr);
        xterm.kill();
        xterm.waitForFinished();
    }
};

QTEST_MAIN(PanelFocusTest)
#include "tst_panelfocus.moc"
