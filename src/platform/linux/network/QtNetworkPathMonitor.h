#pragma once
// Network path monitoring on QNetworkInformation (NetworkManager backend where available).
// Without a backend the path counts as satisfied: requests are tried and their errors decide.
#include "platform/NetworkPathMonitor.h"

#include <QMetaObject>

class QtNetworkPathMonitor : public NetworkPathMonitor
{
public:
    ~QtNetworkPathMonitor() override;
    void start() override;
    bool isStarted() const override { return m_started; }
    NetworkPathStatus currentStatus() const override;
    void setHandler(Handler handler) override { m_handler = std::move(handler); }

private:
    bool m_started = false;
    Handler m_handler;
    QMetaObject::Connection m_connection;
};
