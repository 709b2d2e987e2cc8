#pragma once
// Who made the desktop's current selection (PRIMARY). It survives the application that made it
// losing the focus, so text read from it may not be what the user selected where they work.
class SelectionOwner
{
public:
    virtual ~SelectionOwner() = default;
    // True when the selection was made in the application that has the focus.
    virtual bool selectionBelongsToFocusedApplication() = 0;
};
