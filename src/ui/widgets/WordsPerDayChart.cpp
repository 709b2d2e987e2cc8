#include "WordsPerDayChart.h"

#include <QLocale>
#include <QPainter>

WordsPerDayChart::WordsPerDayChart(QWidget* parent) : QWidget(parent)
{
    setMinimumHeight(140);
    setAccessibleName(QStringLiteral("Mots dictés par jour"));
}

void WordsPerDayChart::setValues(const QList<qint64>& values, const QDate& lastDay)
{
    m_values = values;
    m_lastDay = lastDay;
    qint64 total = 0;
    for (qint64 v : values)
        total += v;
    setAccessibleDescription(QStringLiteral("%1 mots sur les %2 derniers jours").arg(total).arg(values.size()));
    update();
}

void WordsPerDayChart::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QFontMetrics fm = fontMetrics();
    const int labelHeight = fm.height() + 4;
    const QRectF area = QRectF(rect()).adjusted(4, fm.height() + 4, -4, -labelHeight);
    p.setPen(palette().color(QPalette::Mid));
    p.drawLine(area.bottomLeft(), area.bottomRight());
    if (m_values.isEmpty())
        return;
    qint64 top = 1;
    for (qint64 v : m_values)
        top = qMax(top, v);
    p.setPen(palette().color(QPalette::PlaceholderText));
    p.drawText(QRectF(rect().left() + 4, rect().top(), width() - 8, fm.height()), Qt::AlignLeft,
               QStringLiteral("max. %1 mots").arg(QLocale(QLocale::French).toString(top)));

    const qreal slot = area.width() / m_values.size();
    const qreal bar = qMax<qreal>(1.0, slot * 0.7);
    p.setPen(Qt::NoPen);
    p.setBrush(palette().color(QPalette::Highlight));
    for (qsizetype i = 0; i < m_values.size(); ++i) {
        const qreal h = area.height() * qreal(m_values[i]) / qreal(top);
        if (h <= 0)
            continue;
        p.drawRoundedRect(QRectF(area.left() + i * slot + (slot - bar) / 2, area.bottom() - h, bar, h), 2, 2);
    }
    // The first and last days as labels.
    if (m_lastDay.isValid()) {
        p.setPen(palette().color(QPalette::PlaceholderText));
        const QDate firstDay = m_lastDay.addDays(-(m_values.size() - 1));
        const QRectF labels(area.left(), area.bottom() + 2, area.width(), fm.height());
        p.drawText(labels, Qt::AlignLeft, firstDay.toString(QStringLiteral("dd/MM")));
        p.drawText(labels, Qt::AlignRight, QStringLiteral("aujourd'hui"));
    }
}
