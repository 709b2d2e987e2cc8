#include "DictionaryInjector.h"

#include <QRegularExpression>
#include <QSet>
#include <algorithm>

namespace {

// \w of the regular expressions below (Unicode properties on): letters, numbers, underscore.
bool isWordChar(char32_t c)
{
    if (c == U'_')
        return true;
    switch (QChar::category(c)) {
    case QChar::Letter_Uppercase:
    case QChar::Letter_Lowercase:
    case QChar::Letter_Titlecase:
    case QChar::Letter_Modifier:
    case QChar::Letter_Other:
    case QChar::Number_DecimalDigit:
    case QChar::Number_Letter:
    case QChar::Number_Other:
        return true;
    default:
        return false;
    }
}

char32_t fold(char32_t c) { return QChar::toCaseFolded(QChar::toLower(c)); }

template <class F>
void forEachCodePoint(QStringView s, F&& f)
{
    for (qsizetype i = 0; i < s.size(); ++i) {
        char32_t c = s[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < s.size() && s[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(s[i], s[i + 1]);
            ++i;
        }
        f(c);
    }
}

// Finds whole-word, case-insensitive occurrences of a variant. Most dictionary entries do not
// occur in a given text, so before compiling a pattern it checks that the variant's first word
// is one of the text's words: a necessary condition for a word-bounded match. The word set only
// ever grows (it keeps words that replacements removed), so the check stays conservative.
class VariantMatcher
{
public:
    explicit VariantMatcher(const QString& text) { addWords(text); }

    void addWords(QStringView text)
    {
        QString word;
        auto flush = [&] {
            if (!word.isEmpty())
                m_words.insert(word);
            word.clear();
        };
        forEachCodePoint(text, [&](char32_t c) {
            if (!isWordChar(c))
                return flush();
            const char32_t f = fold(c);
            if (QChar::requiresSurrogates(f)) {
                word += QChar(QChar::highSurrogate(f));
                word += QChar(QChar::lowSurrogate(f));
            } else {
                word += QChar(char16_t(f));
            }
        });
        flush();
    }

    // False only when the variant surely does not occur as a whole word.
    bool mayOccur(QStringView variant) const
    {
        QString first;
        bool startsWithWord = false;
        bool done = false;
        bool atStart = true;
        forEachCodePoint(variant, [&](char32_t c) {
            if (done)
                return;
            const bool w = isWordChar(c);
            if (atStart) {
                startsWithWord = w;
                atStart = false;
            }
            if (!w) {
                done = true;
                return;
            }
            const char32_t f = fold(c);
            if (QChar::requiresSurrogates(f)) {
                first += QChar(QChar::highSurrogate(f));
                first += QChar(QChar::lowSurrogate(f));
            } else {
                first += QChar(char16_t(f));
            }
        });
        // A variant starting with punctuation is left to the regular expression.
        if (!startsWithWord)
            return true;
        return m_words.contains(first);
    }

private:
    QSet<QString> m_words;
};

QRegularExpression wordPattern(const QString& variant)
{
    return QRegularExpression(QStringLiteral("\\b") + QRegularExpression::escape(variant) + QStringLiteral("\\b"),
                              QRegularExpression::CaseInsensitiveOption |
                                  QRegularExpression::UseUnicodePropertiesOption);
}

// Every match replaced by target, taken as plain text ("$1" and "\1" stay as typed).
bool replaceAll(QString& text, const QRegularExpression& re, const QString& target)
{
    QRegularExpressionMatchIterator it = re.globalMatch(text);
    if (!it.hasNext())
        return false;
    QString out;
    out.reserve(text.size());
    qsizetype last = 0;
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        out += QStringView(text).mid(last, m.capturedStart() - last);
        out += target;
        last = m.capturedEnd();
    }
    out += QStringView(text).mid(last);
    text = std::move(out);
    return true;
}

QString trimSpacesAndTabs(const QString& s)
{
    qsizetype b = 0;
    qsizetype e = s.size();
    auto blank = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
    while (b < e && blank(s[b]))
        ++b;
    while (e > b && blank(s[e - 1]))
        --e;
    return s.mid(b, e - b);
}

QStringList replacementVariants(const DictionaryEntry& e)
{
    QStringList out;
    for (const QString& v : QStringList{e.term} + DictionaryInjector::pronunciations(e)) {
        const QString t = trimSpacesAndTabs(v);
        if (!t.isEmpty())
            out << t;
    }
    return out;
}

QStringList usageVariants(const DictionaryEntry& e)
{
    QStringList out;
    for (const QString& v : QStringList{e.term} + DictionaryInjector::pronunciations(e)) {
        const QString t = v.trimmed();
        if (!t.isEmpty())
            out << t;
    }
    return out;
}

bool hasReplacement(const DictionaryEntry& e) { return e.replacement && !e.replacement->isEmpty(); }

} // namespace

namespace DictionaryInjector {

QStringList pronunciations(const DictionaryEntry& entry)
{
    QStringList out;
    for (const QString& piece : entry.pronunciationsRaw.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QString t = piece.trimmed();
        if (!t.isEmpty())
            out << t;
    }
    return out;
}

std::optional<QString> transcriptionHint(const QList<DictionaryEntry>& entries, int tokenBudget)
{
    QList<const DictionaryEntry*> pinned;
    QList<const DictionaryEntry*> others;
    for (const DictionaryEntry& e : entries) {
        if (e.isPinned)
            pinned << &e;
        else if (e.scopesRaw & DictionaryScopes::transcription)
            others << &e;
    }
    std::stable_sort(others.begin(), others.end(), [](const DictionaryEntry* a, const DictionaryEntry* b) {
        if (a->usageCount != b->usageCount)
            return a->usageCount > b->usageCount;
        if (a->lastUsedAt.has_value() != b->lastUsedAt.has_value())
            return a->lastUsedAt.has_value();
        return a->lastUsedAt && *a->lastUsedAt > *b->lastUsedAt;
    });
    auto item = [](const DictionaryEntry& e) {
        const QStringList p = pronunciations(e);
        return p.isEmpty() ? e.term : e.term + QStringLiteral(" (also: ") + p.join(QStringLiteral(", ")) + u')';
    };

    const QString prefix = QStringLiteral("Vocabulary: ");
    const qsizetype budget = qsizetype(tokenBudget) * 4;
    qsizetype length = prefix.size();
    QStringList taken;
    for (const DictionaryEntry* e : pinned) {
        taken << item(*e);
        length += taken.last().size() + 2;
    }
    for (const DictionaryEntry* e : others) {
        QString text = item(*e);
        if (length + text.size() + 2 > budget)
            continue;
        length += text.size() + 2;
        taken << std::move(text);
    }
    if (taken.isEmpty())
        return std::nullopt;
    return prefix + taken.join(QStringLiteral(", ")) + u'.';
}

QString applyReplacements(const QString& text, const QList<DictionaryEntry>& entries)
{
    QString out = text;
    std::optional<VariantMatcher> matcher;
    for (const DictionaryEntry& e : entries) {
        if (!(e.scopesRaw & DictionaryScopes::replacement))
            continue;
        const QString target = hasReplacement(e) ? *e.replacement : e.term;
        for (const QString& variant : replacementVariants(e)) {
            if (variant == target)
                continue;
            if (!matcher)
                matcher.emplace(out);
            if (!matcher->mayOccur(variant))
                continue;
            const QRegularExpression re = wordPattern(variant);
            if (!re.isValid())
                continue;
            if (replaceAll(out, re, target))
                matcher->addWords(target);
        }
    }
    return out;
}

QString vocabularyBlock(const QList<DictionaryEntry>& entries, const QList<DictionaryEntry>& extra)
{
    QList<const DictionaryEntry*> listed;
    QSet<QUuid> ids;
    for (const DictionaryEntry& e : entries) {
        if (e.scopesRaw & DictionaryScopes::transformation) {
            listed << &e;
            ids.insert(e.id);
        }
    }
    for (const DictionaryEntry& e : extra) {
        if (!ids.contains(e.id)) {
            listed << &e;
            ids.insert(e.id);
        }
    }
    if (listed.isEmpty())
        return {};
    QStringList lines;
    for (const DictionaryEntry* e : listed) {
        QString line = QStringLiteral("- ") + e->term;
        const QStringList p = pronunciations(*e);
        if (!p.isEmpty())
            line += QStringLiteral(" (heard as: ") + p.join(QStringLiteral(", ")) + u')';
        if (hasReplacement(*e))
            line += QStringLiteral(" \u2014 ") + *e->replacement;
        lines << line;
    }
    return QStringLiteral("<vocabulary>\nUse exactly these spellings and forms when the input mentions them:\n") +
           lines.join(u'\n') + QStringLiteral("\n</vocabulary>");
}

QList<DictionaryEntry> recordUsage(const QString& finalText, QList<DictionaryEntry>& entries, const QDateTime& now)
{
    QList<DictionaryEntry> changed;
    if (finalText.isEmpty())
        return changed;
    const VariantMatcher matcher(finalText);
    for (DictionaryEntry& e : entries) {
        for (const QString& variant : usageVariants(e)) {
            if (!matcher.mayOccur(variant))
                continue;
            const QRegularExpression re = wordPattern(variant);
            if (!re.isValid() || !re.match(finalText).hasMatch())
                continue;
            ++e.usageCount;
            e.lastUsedAt = now;
            changed << e;
            break;
        }
    }
    return changed;
}

void recordUsage(const QString& finalText, QList<DictionaryEntry>& entries, const QDateTime& now, RecordStore& store)
{
    if (finalText.isEmpty())
        return;
    // The caller's list may be older than edits made meanwhile (command line, window, sync): the
    // counting runs on the records as stored, read and written in one transaction. Usage is local
    // bookkeeping, not a user's edit: written as is, without sync stamps.
    QList<DictionaryEntry> fresh;
    const StoreResult saved = store.save([&]() -> StoreResult {
        fresh = store.fetch<DictionaryEntry>();
        for (const DictionaryEntry& e : recordUsage(finalText, fresh, now))
            if (auto ok = store.replace(e); !ok)
                return ok;
        return {};
    });
    if (saved)
        entries = fresh;
}

} // namespace DictionaryInjector
