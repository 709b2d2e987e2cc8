#pragma once
// Finds network services announced on the local network (DNS-SD), for instance the computers
// that receive texts from this one.
#include "store/Expected.h"

#include <QByteArray>
#include <QCoroTask>
#include <QHash>
#include <QList>
#include <QString>
#include <chrono>

struct FoundService
{
    QString name;
    // An address to connect to, as text.
    QString address;
    quint16 port = 0;
    QHash<QString, QByteArray> txt;
};

class ServiceBrowser
{
public:
    virtual ~ServiceBrowser() = default;
    // The services of the type announced now, resolved; waits at most `wait` for the answers.
    // The reason when the local network cannot be searched (no daemon...).
    virtual QCoro::Task<Expected<QList<FoundService>, QString>> browse(QString type, std::chrono::milliseconds wait) = 0;
};
