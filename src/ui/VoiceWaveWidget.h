#pragma once
// Draws the voice wave 30 times a second while visible, from a level source (0…1).
#include "dictation/VoiceWave.h"

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <functional>

class VoiceWaveWidget : public QWidget
{
    Q_OBJECT
public:
    explicit VoiceWaveWidget(std::function<double()> level, QWidget* parent = nullptr);
    QSize sizeHint() const override;
    // One frame: reads the level, advances the ramp (also called by the timer).
    void tick();
    const VoiceWave& wave() const { return m_wave; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    std::function<double()> m_level;
    VoiceWave m_wave;
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_lastFrame = 0;
};
