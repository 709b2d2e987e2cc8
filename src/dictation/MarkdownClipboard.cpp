#include "MarkdownClipboard.h"

#include "MarkdownStyledText.h"
#include "platform/Pasteboard.h"

void MarkdownClipboard::copy(const QString& text)
{
    if (!MarkdownStyledText::containsMarkdown(text)) {
        m_pasteboard.setText(text);
        return;
    }
    const QByteArray rtf = MarkdownStyledText::toRtf(MarkdownStyledText::convert(text));
    // Word processors look for either name; the plain text keeps its Markdown marks.
    m_pasteboard.setContents({{QStringLiteral("text/rtf"), rtf},
                              {QStringLiteral("text/richtext"), rtf},
                              {QStringLiteral("text/plain"), text.toUtf8()}});
}
