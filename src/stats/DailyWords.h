#pragma once
// Words dictated per calendar day (the user's time zone) over the last days, for the chart of
// the statistics section.
#include <QDateTime>
#include <QList>

class RecordStore;

// `days` values, oldest first; the last one is today's.
QList<qint64> wordsPerDay(const RecordStore& store, const QDateTime& now, int days = 30);
