#include "BackupStats.h"

#include "TextFigures.h"
#include "store/RecordStore.h"

#include <QTextBoundaryFinder>
#include <cmath>
#include <array>

namespace {

struct Key
{
    const char* name;
    bool integer;
    double BackupStats::*real = nullptr;
    qint64 BackupStats::*whole = nullptr;
};

const std::array<Key, 9>& keys()
{
    static const std::array<Key, 9> k{{
        {"totalCount", true, nullptr, &BackupStats::totalCount},
        {"totalWords", true, nullptr, &BackupStats::totalWords},
        {"totalKeystrokesSaved", true, nullptr, &BackupStats::totalKeystrokesSaved},
        {"timeSavedSeconds", false, &BackupStats::timeSavedSeconds, nullptr},
        {"thisMonthWords", true, nullptr, &BackupStats::thisMonthWords},
        {"averageWordsPerMinute", false, &BackupStats::averageWordsPerMinute, nullptr},
        {"totalAIFixes", true, nullptr, &BackupStats::totalAIFixes},
        {"thisMonthCostUSD", false, &BackupStats::thisMonthCostUSD, nullptr},
        {"allTimeCostUSD", false, &BackupStats::allTimeCostUSD, nullptr},
    }};
    return k;
}

} // namespace

QStringList BackupStats::keyOrder()
{
    QStringList names;
    for (const Key& k : keys())
        names << QLatin1String(k.name);
    return names;
}

QJsonObject BackupStats::toJson() const
{
    QJsonObject o;
    for (const Key& k : keys()) {
        if (k.integer)
            o.insert(QLatin1String(k.name), this->*k.whole);
        else
            o.insert(QLatin1String(k.name), this->*k.real);
    }
    return o;
}

std::optional<BackupStats> BackupStats::fromJson(const QJsonObject& o, QString* error)
{
    BackupStats s;
    for (const Key& k : keys()) {
        const QJsonValue v = o.value(QLatin1String(k.name));
        const double d = v.toDouble();
        // 2^53: beyond it a JSON number no longer holds an exact integer.
        const bool ok = v.isDouble() && std::isfinite(d) &&
                        (!k.integer || (d == std::trunc(d) && std::abs(d) <= 9007199254740992.0));
        if (!ok) {
            if (error)
                *error = v.isUndefined() ? QStringLiteral("clé « %1 » manquante").arg(QLatin1String(k.name))
                                         : QStringLiteral("clé « %1 » : nombre attendu").arg(QLatin1String(k.name));
            return std::nullopt;
        }
        if (k.integer)
            s.*k.whole = qint64(d);
        else
            s.*k.real = d;
    }
    return s;
}

StatsAccumulator::StatsAccumulator(const QDateTime& now)
{
    const QDateTime local = now.toLocalTime();
    const QDate first(local.date().year(), local.date().month(), 1);
    m_monthStartMs = QDateTime(first, QTime(0, 0), Qt::LocalTime).toMSecsSinceEpoch();
    m_monthEndMs = QDateTime(first.addMonths(1), QTime(0, 0), Qt::LocalTime).toMSecsSinceEpoch();
}

bool StatsAccumulator::inThisMonth(qint64 ms) const
{
    return ms >= m_monthStartMs && ms < m_monthEndMs;
}

void StatsAccumulator::add(const Transcription& t)
{
    qint64 words = 0;
    qint64 chars = 0;
    if (t.storedWordCount && t.storedCharCount) {
        words = *t.storedWordCount;
        chars = *t.storedCharCount;
    } else {
        const QString spoken = t.spokenText();
        words = t.storedWordCount ? *t.storedWordCount : wordCount(spoken);
        chars = t.storedCharCount ? *t.storedCharCount : visibleCharacterCount(spoken);
    }
    add(Dictation{words, chars, t.duration, t.aiFixCount.value_or(0), t.createdAt.toMSecsSinceEpoch()});
}

void StatsAccumulator::add(const Dictation& d)
{
    ++m_stats.totalCount;
    m_stats.totalWords += d.words;
    m_stats.totalKeystrokesSaved += d.characters;
    m_spokenSeconds += d.duration;
    m_stats.totalAIFixes += d.aiFixes;
    if (inThisMonth(d.createdAtMs))
        m_stats.thisMonthWords += d.words;
}

void StatsAccumulator::add(const APIUsageRecord& u)
{
    m_stats.allTimeCostUSD += u.costUSD;
    if (inThisMonth(u.date.toMSecsSinceEpoch()))
        m_stats.thisMonthCostUSD += u.costUSD;
}

BackupStats StatsAccumulator::result() const
{
    BackupStats s = m_stats;
    const double typingSeconds = s.totalWords > 0 ? double(s.totalWords) / kTypingWordsPerMinute * 60.0 : 0.0;
    const double saved = typingSeconds - m_spokenSeconds;
    s.timeSavedSeconds = saved > 0 ? saved : 0;
    s.averageWordsPerMinute = m_spokenSeconds > 0 ? double(s.totalWords) / (m_spokenSeconds / 60.0) : 0;
    return s;
}

BackupStats computeStats(const RecordStore& store, const QDateTime& now)
{
    StatsAccumulator acc(now);
    // One pass over the rows. A text is read only where the figures need it, and counted from
    // its stored bytes: purged dictations kept their counts, most others have a raw text.
    enum Column { storedWords, storedChars, duration, aiFixes, createdAt, raw, id };
    const QStringList columns{QStringLiteral("storedWordCount"), QStringLiteral("storedCharCount"),
                              QStringLiteral("duration"),        QStringLiteral("aiFixCount"),
                              QStringLiteral("createdAt"),       QStringLiteral("rawWhisperText"),
                              QStringLiteral("id")};
    store.scan<Transcription>(columns, [&](const StoreRow& row) {
        const bool wordsKept = !row.isNull(storedWords);
        const bool charsKept = !row.isNull(storedChars);
        TextFigures spoken;
        if (!wordsKept || !charsKept) {
            spoken = TextFigures::ofUtf8(row.utf8(raw));
            // A raw text without a word is only white space: the spoken text falls back on the
            // others, read for these few rows alone.
            if (spoken.words == 0) {
                const QByteArrayView key = row.utf8(id);
                const auto t = store.find<Transcription>(QUuid::fromString(QLatin1String(key.data(), key.size())));
                spoken = TextFigures::of(t ? t->spokenText() : QString());
            }
        }
        const double seconds = row.real(createdAt);
        // The store's conversion, without building a date where the value is an ordinary one.
        const qint64 createdAtMs =
            std::abs(seconds) < 1e13 ? qint64(seconds * 1000.0 + (seconds >= 0 ? 0.5 : -0.5)) + DateTime::kReferenceEpochMSecs
                                     : DateTime::fromReferenceSeconds(seconds).toMSecsSinceEpoch();
        acc.add(StatsAccumulator::Dictation{
            wordsKept ? int(row.integer(storedWords)) : spoken.words,
            charsKept ? int(row.integer(storedChars)) : spoken.characters, row.real(duration),
            row.isNull(aiFixes) ? 0 : int(row.integer(aiFixes)), createdAtMs});
    });
    store.forEachWith<APIUsageRecord>({QStringLiteral("costUSD"), QStringLiteral("date")},
                                      [&](const APIUsageRecord& u) { acc.add(u); });
    return acc.result();
}

qint64 visibleCharacterCount(const QString& text)
{
    // Below U+0300 (where combining marks begin) every code unit is one character, CR LF aside.
    bool simple = true;
    qint64 crlf = 0;
    const QChar* d = text.constData();
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = d[i].unicode();
        if (c >= 0x300) {
            simple = false;
            break;
        }
        if (c == u'\n' && i > 0 && d[i - 1].unicode() == u'\r')
            ++crlf;
    }
    if (simple)
        return text.size() - crlf;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qint64 count = 0;
    while (finder.toNextBoundary() > 0)
        ++count;
    return count;
}
