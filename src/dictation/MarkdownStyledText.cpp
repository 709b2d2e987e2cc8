#include "MarkdownStyledText.h"

#include <QRegularExpression>
#include <QVector>

namespace {

const QRegularExpression& heading()
{
    static const QRegularExpression re(QStringLiteral("^(#{1,3})[ \\t]+([^\\n]+)$"),
                                       QRegularExpression::MultilineOption);
    return re;
}
const QRegularExpression& listMarker()
{
    static const QRegularExpression re(QStringLiteral("^[ \\t]*([-*]|\\d+\\.)[ \\t]"),
                                       QRegularExpression::MultilineOption);
    return re;
}
const QRegularExpression& boldItalic()
{
    static const QRegularExpression re(QStringLiteral("\\*{3}([^*\\n]+)\\*{3}"));
    return re;
}
const QRegularExpression& bold()
{
    static const QRegularExpression re(QStringLiteral("\\*\\*([^*\\n]+)\\*\\*"));
    return re;
}
const QRegularExpression& italic()
{
    static const QRegularExpression re(QStringLiteral("(?<!\\*)\\*([^*\\n]+)\\*(?!\\*)"));
    return re;
}
const QRegularExpression& strike()
{
    static const QRegularExpression re(QStringLiteral("~~([^~\\n]+)~~"));
    return re;
}

// The text being converted with one style per character.
struct Styled
{
    QString text;
    QVector<TextStyle> styles;

    void remove(qsizetype pos, qsizetype n)
    {
        text.remove(pos, n);
        styles.remove(pos, n);
    }
};

// Every match of re on the current text, last first, so edits keep earlier offsets valid.
QList<QRegularExpressionMatch> matchesFromEnd(const QRegularExpression& re, const QString& text)
{
    QList<QRegularExpressionMatch> all;
    auto it = re.globalMatch(text);
    while (it.hasNext())
        all.prepend(it.next());
    return all;
}

// Pattern whose group 1 is the enclosed text: style it and drop the surrounding marks.
template <class Apply>
void unwrap(Styled& s, const QRegularExpression& re, Apply apply)
{
    for (const auto& m : matchesFromEnd(re, s.text)) {
        for (qsizetype i = m.capturedStart(1); i < m.capturedEnd(1); ++i)
            apply(s.styles[i]);
        s.remove(m.capturedEnd(1), m.capturedEnd(0) - m.capturedEnd(1));
        s.remove(m.capturedStart(0), m.capturedStart(1) - m.capturedStart(0));
    }
}

void appendEscaped(QByteArray& out, const QString& text)
{
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == '\\' || u == '{' || u == '}') {
            out += '\\';
            out += char(u);
        } else if (u == '\n') {
            out += "\\par\n";
        } else if (u == '\t') {
            out += "\\tab ";
        } else if (u == '\r') {
            continue;
        } else if (u < 0x20) {
            continue;
        } else if (u < 0x80) {
            out += char(u);
        } else {
            // \uN takes a signed 16-bit value; surrogate pairs are written as two units.
            out += "\\u" + QByteArray::number(int(qint16(u))) + '?';
        }
    }
}

} // namespace

namespace MarkdownStyledText {

bool containsMarkdown(const QString& text)
{
    for (const QRegularExpression* re : {&heading(), &listMarker(), &boldItalic(), &bold(), &italic(), &strike()})
        if (re->match(text).hasMatch())
            return true;
    return false;
}

QList<StyledRun> convert(const QString& text)
{
    Styled s{text, QVector<TextStyle>(text.size())};

    for (const auto& m : matchesFromEnd(heading(), s.text)) {
        const int level = int(m.capturedLength(1));
        const int extra = level == 1 ? 9 : level == 2 ? 6 : 3;
        // RTF has no semibold; the third level is bold like the others, only smaller.
        for (qsizetype i = m.capturedStart(2); i < m.capturedEnd(2); ++i) {
            s.styles[i].pointSize = kBodyPointSize + extra;
            s.styles[i].bold = true;
        }
        s.remove(m.capturedStart(0), m.capturedStart(2) - m.capturedStart(0));
    }
    for (const auto& m : matchesFromEnd(listMarker(), s.text)) {
        if (m.captured(1) == QLatin1String("-") || m.captured(1) == QLatin1String("*"))
            s.text[m.capturedStart(1)] = QChar(0x2022);
    }
    unwrap(s, boldItalic(), [](TextStyle& t) { t.bold = t.italic = true; });
    unwrap(s, bold(), [](TextStyle& t) { t.bold = true; });
    unwrap(s, italic(), [](TextStyle& t) { t.italic = true; });
    unwrap(s, strike(), [](TextStyle& t) { t.strike = true; });

    QList<StyledRun> runs;
    for (qsizetype i = 0; i < s.text.size(); ++i) {
        if (runs.isEmpty() || !(runs.last().style == s.styles[i]))
            runs.append({QString(), s.styles[i]});
        runs.last().text += s.text[i];
    }
    return runs;
}

QByteArray toRtf(const QList<StyledRun>& runs)
{
    QByteArray out = "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1{\\fonttbl{\\f0\\fswiss\\fcharset0 Helvetica;}}\n"
                     "\\f0\\fs" + QByteArray::number(kBodyPointSize * 2) + ' ';
    for (const StyledRun& r : runs) {
        out += "{\\fs" + QByteArray::number(r.style.pointSize * 2);
        if (r.style.bold)
            out += "\\b";
        if (r.style.italic)
            out += "\\i";
        if (r.style.strike)
            out += "\\strike";
        out += ' ';
        appendEscaped(out, r.text);
        out += '}';
    }
    out += "}";
    return out;
}

} // namespace MarkdownStyledText
