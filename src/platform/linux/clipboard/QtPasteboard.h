#pragma once
// The clipboard through QClipboard: on X11 the CLIPBOARD and PRIMARY selections.
#include "platform/Pasteboard.h"

class QtPasteboard : public Pasteboard
{
public:
    // Formats are copied while they fit in this budget, at most kMaxFormats of them.
    static constexpr qsizetype kCopyBudgetBytes = 8 * 1024 * 1024;
    static constexpr int kMaxFormats = 16;

    std::optional<QString> text() const override;
    PasteboardContents contents() const override;
    void setText(const QString& text) override;
    void setContents(const PasteboardContents& contents) override;
    std::optional<QString> selectionText() const override;
};
