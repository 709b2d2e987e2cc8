#pragma once
// Pauses the media that plays while the user dictates, and resumes what it paused.
class MediaPauser
{
public:
    virtual ~MediaPauser() = default;
    virtual void pause() = 0;
    virtual void resume() = 0;
};
