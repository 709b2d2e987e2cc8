// Shows the recorder panel in each state and style on the X server and saves what the screen
// shows around it: the panel's screenshots for scripts/screenshots.sh.
#include "UiRig.h"
#include "platform/FloatingPanelSupport.h"
#include "store/AppSettingsKeys.h"
#include "ui/MacRecorderHUD.h"

#include <QApplication>
#include <QDir>
#include <QScreen>
#include <QTest>
#include <QTextStream>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QString out = app.arguments().value(1);
    if (out.isEmpty()) {
        QTextStream(stderr) << "usage: ovra_panel_preview OUTDIR\n";
        return 2;
    }
    QDir().mkpath(out);
    UiRig rig;
    rig.addMode(QStringLiteral("Normal"), 0);
    rig.addMode(QStringLiteral("Courriel"), 1);
    NoFloatingPanelSupport support;
    MacRecorderHUD hud({*rig.store, rig.settings, support, [] { return 0.6; }});
    hud.attach(&rig.controller);
    const QList<std::pair<RecordingState, QString>> states = {{RecordingState::recording, "recording"},
                                                              {RecordingState::transcribing, "transcribing"},
                                                              {RecordingState::enhancing, "enhancing"},
                                                              {RecordingState::finished, "finished"},
                                                              {RecordingState::idle, "idle"}};
    int failures = 0;
    for (const QString& style : {QStringLiteral("bottom"), QStringLiteral("notch")}) {
        rig.settings.setValue(AppSettingsKey::hudStyle, style);
        for (const auto& [state, name] : states) {
            hud.showState(state);
            hud.show();
            QWidget* panel = hud.panel();
            if (!QTest::qWaitForWindowExposed(panel)) {
                ++failures;
                continue;
            }
            QTest::qWait(150); // let the wave draw a few frames
            const QRect area = panel->frameGeometry().adjusted(-20, -20, 20, 20);
            const QPixmap shot = panel->screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height());
            if (!shot.save(QDir(out).filePath(QStringLiteral("panel-%1-%2.png").arg(style, name))))
                ++failures;
            hud.hide();
        }
    }
    hud.attach(nullptr);
    return failures == 0 ? 0 : 1;
}
