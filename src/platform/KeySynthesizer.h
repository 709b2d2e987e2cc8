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
    // Completes once the user holds no key (or after a bounded wait). A chord sent while the
    // global shortcut's Alt+Super are still down reaches the application as another shortcut;
    // one sent while the shortcut's own key is still down goes to the shortcut's grab, not to
    // the application. Where the state cannot be read it completes at once.
    virtual QCoro::Task<> keysReleased() { co_return; }
};
