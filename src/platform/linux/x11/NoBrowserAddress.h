#pragma once
// Browser addresses are not read on this desktop yet (an AT-SPI reader would go here): every
// request reports why, and the application's own rule applies.
#include "platform/BrowserAddress.h"

class NoBrowserAddress : public BrowserAddress
{
public:
    QCoro::Task<Expected<QString, QString>> frontPageAddress(QString) override
    {
        co_return unexpected(QStringLiteral(
            "adresse illisible — la lecture par AT-SPI n'est pas encore prise en charge, la règle de l'application s'applique"));
    }
};
