#pragma once
// Markdown marks (headings, list markers, bold, italic, strikethrough) turned into styled text
// and encoded as RTF, for copies that keep their formatting when pasted in a word processor.
#include <QByteArray>
#include <QList>
#include <QString>

struct TextStyle
{
    int pointSize = 12;
    bool bold = false;
    bool italic = false;
    bool strike = false;
    bool operator==(const TextStyle&) const = default;
};

struct StyledRun
{
    QString text;
    TextStyle style;
};

namespace MarkdownStyledText {
constexpr int kBodyPointSize = 12;

// True when any of the six Markdown patterns occurs in text.
bool containsMarkdown(const QString& text);
// The text without its marks, as runs of equal style (adjacent runs differ).
QList<StyledRun> convert(const QString& text);
QByteArray toRtf(const QList<StyledRun>& runs);
} // namespace MarkdownStyledText
