#pragma once
// Bars of the words dictated per day, oldest on the left, today on the right.
#include <QDate>
#include <QList>
#include <QWidget>

class WordsPerDayChart : public QWidget
{
    Q_OBJECT
public:
    explicit WordsPerDayChart(QWidget* parent = nullptr);

    // One value per day, ending with `lastDay`.
    void setValues(const QList<qint64>& values, const QDate& lastDay);
    const QList<qint64>& values() const { return m_values; }

    QSize sizeHint() const override { return {480, 160}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QList<qint64> m_values;
    QDate m_lastDay;
};
