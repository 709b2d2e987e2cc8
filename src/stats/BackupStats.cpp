#include "BackupStats.h"

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

bool StatsAccumulator::inThisMonth(const QDateTime& d) const
{
    const qint64 ms = d.toMSecsSinceEpoch();
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
    ++m_stats.totalCount;
    m_stats.totalWords += words;
    m_stats.totalKeystrokesSaved += chars;
    m_spokenSeconds += t.duration;
    m_stats.totalAIFixes += t.aiFixCount.value_or(0);
    if (inThisMonth(t.createdAt))
        m_stats.thisMonthWords += words;
}

void StatsAccumulator::add(const APIUsageRecord& u)
{
    m_stats.allTimeCostUSD += u.costUSD;
    if (inThisMonth(u.date))
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

namespace {

// SQL for "this text column is absent or only white space", white space being what QString::trimmed
// removes: the rows are split three ways by the database so each is decoded with the fewest texts.
QString blankColumn(const char* column)
{
    // GLOB stops at the first character outside the set: a dictation's text is judged by its
    // first character, where trim() would copy the whole text.
    static const QString spaces = [] {
        QString set;
        for (char32_t c = 0; c <= 0x3000; ++c)
            if (QChar::isSpace(c))
                set += QChar(c);
        return set;
    }();
    return QStringLiteral("(\"%1\" IS NULL OR \"%1\" NOT GLOB '*[^%2]*')").arg(QLatin1String(column), spaces);
}

} // namespace

BackupStats computeStats(const RecordStore& store, const QDateTime& now)
{
    StatsAccumulator acc(now);
    const auto add = [&](const Transcription& t) { acc.add(t); };
    const QStringList figures{QStringLiteral("storedWordCount"), QStringLiteral("storedCharCount"),
                              QStringLiteral("duration"), QStringLiteral("aiFixCount"), QStringLiteral("createdAt")};
    const QString counted = QStringLiteral("(\"storedWordCount\" IS NOT NULL AND \"storedCharCount\" IS NOT NULL)");
    const QString raw = blankColumn("rawWhisperText");
    // Purged dictations: their counts were kept, no text is read.
    store.forEachWith<Transcription>(figures, add, counted);
    // Most dictations: the raw text is the spoken one, the two others are never decoded.
    store.forEachWith<Transcription>(figures + QStringList{QStringLiteral("rawWhisperText")}, add,
                                     QStringLiteral("NOT %1 AND NOT %2").arg(counted, raw));
    store.forEachWith<Transcription>(figures + QStringList{QStringLiteral("rawWhisperText"),
                                                           QStringLiteral("afterReplacementsText"),
                                                           QStringLiteral("text")},
                                     add, QStringLiteral("NOT %1 AND %2").arg(counted, raw));
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
