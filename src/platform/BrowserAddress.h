#pragma once
// Reads the address of the page shown by a browser.
#include "store/Expected.h"

#include <QCoroTask>
#include <QString>

class BrowserAddress
{
public:
    virtual ~BrowserAddress() = default;
    // The address of the front page of the browser with this application identifier;
    // error: why it cannot be read.
    virtual QCoro::Task<Expected<QString, QString>> frontPageAddress(QString applicationId) = 0;
};
