#pragma once
// Launch at login: whether the program starts with the user's session, and changing it.
#include "store/Expected.h"

#include <QString>

class LoginItem
{
public:
    virtual ~LoginItem() = default;
    virtual bool isEnabled() const = 0;
    // Error: the user-facing reason (folder not writable...). Nothing changes on failure.
    virtual Expected<void, QString> setEnabled(bool enabled) = 0;
};
