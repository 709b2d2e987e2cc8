#pragma once
// The modes after whose delivery Return is pressed (per-application modes decide).
#include <QSet>
#include <QString>

class AutoSendModes
{
public:
    virtual ~AutoSendModes() = default;
    // Mode ids as upper-case UUID text.
    virtual QSet<QString> autoSendModeIDs() const = 0;
};
