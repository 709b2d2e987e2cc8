#include "VoiceWaveWidget.h"

#include <QPainter>
#include <QPainterPath>

VoiceWaveWidget::VoiceWaveWidget(std::function<double()> level, QWidget* parent)
    : QWidget(parent), m_level(std::move(level))
{
    setObjectName(QStringLiteral("voiceWave"));
    setAccessibleName(QStringLiteral("Niveau du micro"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFixedSize(sizeHint());
    m_timer.setInterval(1000 / VoiceWave::kFramesPerSecond);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &VoiceWaveWidget::tick);
    m_clock.start();
}

QSize VoiceWaveWidget::sizeHint() const
{
    const int n = VoiceWave::kBarCount;
    return {int(n * VoiceWave::kBarWidth + (n - 1) * VoiceWave::kBarSpacing), int(VoiceWave::kFrameHeight)};
}

void VoiceWaveWidget::tick()
{
    const qint64 now = m_clock.elapsed();
    m_wave.setTarget(m_level ? m_level() : 0.0);
    m_wave.advance((now - m_lastFrame) / 1000.0);
    m_lastFrame = now;
    update();
}

void VoiceWaveWidget::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QColor colour(Qt::white);
    colour.setAlphaF(VoiceWave::opacity(m_wave.level()));
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    const QList<double> heights = m_wave.heights(m_clock.elapsed() / 1000.0);
    const double mid = height() / 2.0;
    for (int i = 0; i < heights.size(); ++i) {
        const double h = std::min(heights[i], VoiceWave::kFrameHeight);
        const QRectF bar(i * (VoiceWave::kBarWidth + VoiceWave::kBarSpacing), mid - h / 2, VoiceWave::kBarWidth, h);
        p.drawRoundedRect(bar, VoiceWave::kBarWidth / 2, VoiceWave::kBarWidth / 2);
    }
}

void VoiceWaveWidget::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    m_lastFrame = m_clock.elapsed();
    m_timer.start();
}

void VoiceWaveWidget::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    m_timer.stop();
}
