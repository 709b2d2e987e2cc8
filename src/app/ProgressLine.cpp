#include "ProgressLine.h"

#include "Terminal.h"

#include <cmath>

ProgressLine::ProgressLine(Terminal& terminal, std::function<State()> state)
    : m_terminal(terminal), m_state(std::move(state))
{
    if (!m_terminal.errorIsTerminal())
        return;
    m_clock.start();
    m_timer.setInterval(200);
    QObject::connect(&m_timer, &QTimer::timeout, [this] { draw(); });
    m_timer.start();
    draw();
}

ProgressLine::~ProgressLine()
{
    m_timer.stop();
    m_terminal.clearProgress();
}

QString ProgressLine::recordingDetail(double level, double limitSeconds)
{
    const int filled = int(std::lround(std::clamp(level, 0.0, 1.0) * 10));
    const QString bar = QString(filled, QChar(0x2588)) + QString(10 - filled, QChar(0x2591));
    return bar + QStringLiteral("  ") + stopHint(limitSeconds);
}

QString ProgressLine::stopHint(double limitSeconds)
{
    return limitSeconds > 0 ? QStringLiteral("(Entrée pour arrêter, %1 s au plus)").arg(limitSeconds)
                            : QStringLiteral("(Entrée pour arrêter)");
}

void ProgressLine::draw()
{
    const State s = m_state();
    if (s.phase != m_phase) {
        m_phase = s.phase;
        m_clock.restart();
    }
    QString text = s.phase + QStringLiteral(" %1 s").arg(m_clock.elapsed() / 1000);
    if (!s.detail.isEmpty())
        text += QStringLiteral("  ") + s.detail;
    m_terminal.showProgress(text);
}
