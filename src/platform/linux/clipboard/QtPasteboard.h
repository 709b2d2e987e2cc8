#pragma once
// The clipboard through QClipboard: on X11 the CLIPBOARD and PRIMARY selections.
#include "platform/Pasteboard.h"

#include <QStringList>

class QtPasteboard : public Pasteboard
{
public:
    // Formats are copied while they fit in this budget.
    static constexpr qsizetype kCopyBudgetBytes = 8 * 1024 * 1024;
    // Besides the plain text, the formats that carry what the user copied. Each one read from
    // another program is a round trip that blocks the event loop, so the many conversions an
    // owner offers of the same content (every image type, every text encoding) are not read.
    static const QStringList kKeptFormats;
    // Of the formats a clipboard owner offers, those worth a copy besides the plain text.
    static QStringList formatsToKeep(const QStringList& offered, bool hasText);

    std::optional<QString> text() const override;
    PasteboardContents contents() const override;
    void setText(const QString& text) override;
    void setContents(const PasteboardContents& contents) override;
    std::optional<QString> selectionText() const override;
};
