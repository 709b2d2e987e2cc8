#pragma once
// Copies text to the clipboard as rich text (RTF) plus the original plain text when it contains
// Markdown, as plain text otherwise.
class Pasteboard;
class QString;

class MarkdownClipboard
{
public:
    explicit MarkdownClipboard(Pasteboard& pasteboard) : m_pasteboard(pasteboard) {}
    void copy(const QString& text);

private:
    Pasteboard& m_pasteboard;
};
