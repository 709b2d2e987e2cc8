#include "Records.h"

#include <QTextBoundaryFinder>

namespace {
bool blank(const std::optional<QString>& s) { return !s || s->trimmed().isEmpty(); }
} // namespace

int wordCount(const QString& text)
{
    int count = 0;
    bool inWord = false;
    for (QChar c : text) {
        // QChar::isSpace covers LF, VT, FF, CR, NEL, LS, PS and every Unicode space.
        if (c.isSpace()) {
            inWord = false;
        } else if (!inWord) {
            inWord = true;
            ++count;
        }
    }
    return count;
}

int characterCount(const QString& text)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    int count = 0;
    while (finder.toNextBoundary() > 0)
        ++count;
    return count;
}

QString Transcription::spokenText() const
{
    if (!blank(rawWhisperText))
        return *rawWhisperText;
    if (!blank(afterReplacementsText))
        return *afterReplacementsText;
    return text;
}

std::optional<TranscriptionCategory> Transcription::category() const
{
    return categoryRaw ? categoryFromRaw(*categoryRaw) : std::nullopt;
}

void Transcription::purgeContent()
{
    const QString spoken = spokenText();
    storedWordCount = wordCount(spoken);
    storedCharCount = characterCount(spoken);
    text.clear();
    rawWhisperText.reset();
    afterReplacementsText.reset();
    aiOutputText.reset();
    userEditedText.reset();
    purgedAt = DateTime::now();
}

QStringList DictionaryEntry::pronunciations() const
{
    if (pronunciationsRaw.isEmpty())
        return {};
    return pronunciationsRaw.split(QLatin1Char(','));
}

void DictionaryEntry::setPronunciations(const QStringList& items)
{
    QStringList kept;
    for (const QString& item : items) {
        const QString t = item.trimmed();
        if (!t.isEmpty())
            kept << t;
    }
    pronunciationsRaw = kept.join(QLatin1Char(','));
}

QString Note::displayTitle() const
{
    if (!title.isEmpty())
        return title;
    const QString firstLine = content.section(QLatin1Char('\n'), 0, 0).trimmed();
    return firstLine.isEmpty() ? QStringLiteral("New note") : firstLine;
}
