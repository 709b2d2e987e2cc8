#include "DailyWords.h"

#include "store/RecordStore.h"

QList<qint64> wordsPerDay(const RecordStore& store, const QDateTime& now, int days)
{
    QList<qint64> out(qMax(days, 0), 0);
    if (out.isEmpty())
        return out;
    const QDate today = now.toLocalTime().date();
    const QDate first = today.addDays(-(days - 1));
    const qint64 startMs = QDateTime(first, QTime(0, 0), Qt::LocalTime).toMSecsSinceEpoch();
    const auto recent = store.fetch<Transcription>(
        [startMs](const Transcription& t) { return t.createdAt.toMSecsSinceEpoch() >= startMs; });
    for (const Transcription& t : recent) {
        const qint64 index = first.daysTo(t.createdAt.toLocalTime().date());
        if (index < 0 || index >= days)
            continue;
        out[index] += t.storedWordCount ? *t.storedWordCount : wordCount(t.spokenText());
    }
    return out;
}
