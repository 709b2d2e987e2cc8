#pragma once
// Picks the mode of the frontmost application just before a dictation starts from a shortcut.
class AppModeSelector
{
public:
    virtual ~AppModeSelector() = default;
    virtual void applyFrontmost() = 0;
};
