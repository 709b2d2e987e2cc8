#pragma once
// Synthetic key presses sent to the focused application.
#include <QCoroTask>

enum class KeyChord {
    paste,         // Ctrl+V
    terminalPaste, // Ctrl+Shift+V
    copy,          // Ctrl+C
    terminalCopy,  // Ctrl+Shift+C
    returnKey,     // Return
};

class KeySynthesizer
{
public:
    virtual ~KeySynthesizer() = default;
    // True when synthetic key events reach other applications (the accessibility trust).
    virtual bool isTrusted() const = 0;
    // Presses and releases the chord; does nothing when untrusted.
    virtual void post(KeyChord chord) = 0;
    // Completes once the user holds no modifier key (or after a bounded wait): a chord sent
    // while the global shortcut's Alt+Super are still down reaches the application as another
    // shortcut. Where the state cannot be read it completes at once.
    virtual QCoro::Task<> modifiersReleased() { co_return; }
};
