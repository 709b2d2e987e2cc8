#pragma once
// Answers every browse with the services (or the error) the test sets, and counts the browses.
#include "platform/ServiceBrowser.h"

class FakeServiceBrowser : public ServiceBrowser
{
public:
    QList<FoundService> services;
    QString error; // set: browsing fails with it
    QStringList browsedTypes;

    QCoro::Task<Expected<QList<FoundService>, QString>> browse(QString type, std::chrono::milliseconds) override
    {
        browsedTypes << type;
        if (!error.isEmpty())
            co_return unexpected(error);
        co_return services;
    }
};
