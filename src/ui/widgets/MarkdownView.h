#pragma once
// Read-only Markdown rendering with Qt's own reader; fenced code is shown in a monospace block
// with simple highlighting, and $…$ / $$…$$ math as formatted source.
#include <QTextBrowser>

class MarkdownView : public QTextBrowser
{
    Q_OBJECT
public:
    explicit MarkdownView(QWidget* parent = nullptr);
    void setMarkdownText(const QString& markdown);
    // Applies the code and math formats to a document the Markdown reader filled.
    static void decorate(QTextDocument& document, const QPalette& palette);
};
