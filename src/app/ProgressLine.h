#pragma once
// What a long command is doing, redrawn on the terminal's progress line a few times a second:
// the phase, the seconds spent in it, and any detail ("transcription… 12 s"). Erased when it
// goes; shows nothing when stderr is not a terminal.
#include <QElapsedTimer>
#include <QString>
#include <QTimer>
#include <functional>

class Terminal;

class ProgressLine
{
public:
    struct State
    {
        QString phase;  // "transcription…"; the clock restarts when it changes
        QString detail; // after the seconds
    };

    ProgressLine(Terminal& terminal, std::function<State()> state);
    ~ProgressLine();
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    // While recording: the limit if any, the input level as a bar, how to stop.
    static QString recordingDetail(double level, double limitSeconds);
    // What stops a recording, for the line printed when there is no progress line.
    static QString stopHint(double limitSeconds);

private:
    void draw();

    Terminal& m_terminal;
    std::function<State()> m_state;
    QString m_phase;
    QElapsedTimer m_clock;
    QTimer m_timer;
};
