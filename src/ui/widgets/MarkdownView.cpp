#include "MarkdownView.h"

#include <QFontDatabase>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTextCursor>

namespace {

void format(QTextDocument& document, int from, int length, const QTextCharFormat& f)
{
    QTextCursor c(&document);
    c.setPosition(from);
    c.setPosition(from + length, QTextCursor::KeepAnchor);
    c.mergeCharFormat(f);
}

void highlightCode(QTextDocument& document, const QTextBlock& block)
{
    static const QRegularExpression keywords(QStringLiteral(
        "\\b(if|else|elif|for|while|do|return|class|struct|def|function|fn|const|let|var|import|from|include|public|"
        "private|static|void|int|bool|auto|true|false|null|nullptr|None|True|False|self|this|new|try|catch|except)\\b"));
    static const QRegularExpression strings(QStringLiteral("\"(?:[^\"\\\\]|\\\\.)*\"|'(?:[^'\\\\]|\\\\.)*'"));
    static const QRegularExpression comment(QStringLiteral("(//|#|--).*$"));
    const QString text = block.text();
    QTextCharFormat mono;
    mono.setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    format(document, block.position(), int(text.size()), mono);
    QTextCharFormat keyword;
    keyword.setForeground(QColor(0x8e, 0x3f, 0xb0));
    keyword.setFontWeight(QFont::Bold);
    for (auto it = keywords.globalMatch(text); it.hasNext();) {
        const auto m = it.next();
        format(document, block.position() + int(m.capturedStart()), int(m.capturedLength()), keyword);
    }
    QTextCharFormat string;
    string.setForeground(QColor(0x1a, 0x7f, 0x37));
    for (auto it = strings.globalMatch(text); it.hasNext();) {
        const auto m = it.next();
        format(document, block.position() + int(m.capturedStart()), int(m.capturedLength()), string);
    }
    QTextCharFormat grey;
    grey.setForeground(QColor(0x6a, 0x73, 0x7d));
    grey.setFontItalic(true);
    if (const auto m = comment.match(text); m.hasMatch())
        format(document, block.position() + int(m.capturedStart()), int(m.capturedLength()), grey);
}

void formatMath(QTextDocument& document, const QTextBlock& block)
{
    static const QRegularExpression math(QStringLiteral("\\$\\$[^$]+\\$\\$|\\$[^$\\s][^$\\n]*\\$"));
    QTextCharFormat f;
    f.setFontItalic(true);
    f.setFontFamilies({QStringLiteral("serif")});
    f.setForeground(QColor(0x0b, 0x5c, 0xad));
    const QString text = block.text();
    for (auto it = math.globalMatch(text); it.hasNext();) {
        const auto m = it.next();
        format(document, block.position() + int(m.capturedStart()), int(m.capturedLength()), f);
    }
}

} // namespace

MarkdownView::MarkdownView(QWidget* parent) : QTextBrowser(parent)
{
    setOpenExternalLinks(true);
}

void MarkdownView::setMarkdownText(const QString& markdown)
{
    document()->setMarkdown(markdown);
    decorate(*document(), palette());
}

void MarkdownView::decorate(QTextDocument& document, const QPalette& palette)
{
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        const QTextBlockFormat bf = block.blockFormat();
        if (bf.hasProperty(QTextFormat::BlockCodeFence) || bf.hasProperty(QTextFormat::BlockCodeLanguage) ||
            bf.nonBreakableLines()) {
            QTextCursor c(block);
            QTextBlockFormat shaded = bf;
            shaded.setBackground(palette.alternateBase());
            c.setBlockFormat(shaded);
            highlightCode(document, block);
        } else if (block.text().contains(u'$')) {
            formatMath(document, block);
        }
    }
}
