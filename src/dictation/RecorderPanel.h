#pragma once
// The floating recorder panel, as the dictation controller shows and hides it.
class RecorderPanel
{
public:
    virtual ~RecorderPanel() = default;
    virtual void show() = 0;
    virtual void hide() = 0;
};
