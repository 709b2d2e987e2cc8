#pragma once
// The Escape key monitors that cancel a recording; installed while recording.
class EscapeMonitors
{
public:
    virtual ~EscapeMonitors() = default;
    virtual void install() = 0;
    virtual void remove() = 0;
};
