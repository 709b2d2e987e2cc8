#pragma once
// What the dictation controller asks of text delivery: paste at the cursor, Return, clipboard,
// the selected text of the focused application and the accessibility trust.
#include <QCoroTask>
#include <QString>
#include <optional>

class DictationDelivery
{
public:
    virtual ~DictationDelivery() = default;
    // False when synthetic key events are impossible: the text then stays on the clipboard.
    virtual bool pasteAtCursor(const QString& text) = 0;
    // Completes once synthetic keys would arrive as typed: the user no longer holds the keys
    // of the shortcut that started the work (bounded wait).
    virtual QCoro::Task<> keysReleased() { co_return; }
    virtual void pressReturn() = 0;
    virtual void copyToClipboard(const QString& text) = 0;
    virtual QCoro::Task<std::optional<QString>> readSelectedText() = 0;
    virtual bool isTrusted() const = 0;
    // Shows the desktop's prompt for the permission synthetic key events need, where there is one.
    virtual void requestTrust() = 0;
};
