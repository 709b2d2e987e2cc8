#pragma once
// The system clipboard (CLIPBOARD) and the selection of the focused application (PRIMARY),
// as the delivery code sees them.
#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <optional>

// Clipboard contents as (MIME type, bytes) pairs, in the owner's order.
using PasteboardContents = QList<QPair<QString, QByteArray>>;

class Pasteboard
{
public:
    virtual ~Pasteboard() = default;
    // The plain text on the clipboard; none when it holds no text.
    virtual std::optional<QString> text() const = 0;
    // Every format the clipboard holds that is cheap to copy (always the plain text).
    virtual PasteboardContents contents() const = 0;
    // Replaces the clipboard with plain text.
    virtual void setText(const QString& text) = 0;
    // Replaces the clipboard with these formats; "text/plain" is offered under every text target.
    virtual void setContents(const PasteboardContents& contents) = 0;
    // The text currently selected somewhere on the desktop (PRIMARY); none when empty.
    virtual std::optional<QString> selectionText() const = 0;
};
