#pragma once
// Where a text received from a phone goes: at the cursor of the focused application, or onto
// the clipboard. Called on the main thread.
#include <QString>

class HelperDelivery
{
public:
    virtual ~HelperDelivery() = default;
    // False when the text could not be pasted (it then stays on the clipboard).
    virtual bool pasteAtCursor(const QString& text) = 0;
    virtual void copyToClipboard(const QString& text) = 0;
};
