#pragma once
// The floating recorder panel: frameless, above every window, shown without activating the
// program and never taking the keyboard focus, so the paste still reaches the window that had
// it. Shows the voice wave and its controls while recording, then the progress, then "Collé !".
#include "dictation/RecorderPanel.h"
#include "dictation/RecorderHUDStyle.h"
#include "store/Enums.h"

#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>

class FloatingPanelSupport;
class MacDictationController;
class QScreen;
class RecordStore;
class Settings;
class QWidget;

class MacRecorderHUD : public QObject, public RecorderPanel
{
    Q_OBJECT
public:
    struct Dependencies
    {
        RecordStore& store;
        Settings& settings;
        FloatingPanelSupport& window;
        // The microphone level, 0…1.
        std::function<double()> level;
    };

    explicit MacRecorderHUD(Dependencies dependencies, QObject* parent = nullptr);
    ~MacRecorderHUD() override;

    // The controller shows the panel and the panel drives the controller: attached once both
    // exist, detached (null) before the controller goes.
    void attach(MacDictationController* controller);

    void show() override;
    void hide() override;
    // Shows the content of a state (the controller's state changes come here).
    void showState(RecordingState state);

    // The panel, once shown for the first time.
    QWidget* panel() const;
    RecorderHUDStyle style() const;
    // The screen the panel goes to: the one holding the focused window, else the primary one.
    QScreen* targetScreen() const;

Q_SIGNALS:
    void openSettingsRequested();

private:
    class View;
    void place();

    Dependencies m_d;
    MacDictationController* m_controller = nullptr;
    std::unique_ptr<View> m_view;
};
