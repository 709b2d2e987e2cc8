#pragma once
// Checks a pasted API key with one cheap authenticated request. Absent = the key works;
// otherwise the message to show. Only transport failures come back as errors.
#include "CloudProviderCatalog.h"
#include "network/APINetworkClient.h"
#include "network/ServiceHosts.h"

#include <QCoroTask>
#include <optional>

class APIKeyVerifier
{
public:
    static constexpr std::chrono::milliseconds kTimeout{15000};

    APIKeyVerifier(APINetworkClient& network, ServiceHosts hosts, std::chrono::milliseconds timeout = kTimeout);

    QCoro::Task<Expected<std::optional<QString>, APIError>> verify(CloudProviderInfo provider, QString key);

private:
    APINetworkClient& m_network;
    ServiceHosts m_hosts;
    std::chrono::milliseconds m_timeout;
};
