#pragma once
// Whether the machine has a usable network path, as the offline queue's monitor reports it.
// The monitor answers only once started.
#include <functional>

enum class NetworkPathStatus { satisfied, unsatisfied, requiresConnection };

class NetworkPathMonitor
{
public:
    using Handler = std::function<void(NetworkPathStatus)>;
    virtual ~NetworkPathMonitor() = default;

    virtual void start() = 0;
    virtual bool isStarted() const = 0;
    virtual NetworkPathStatus currentStatus() const = 0;
    // Called on the main thread at every change after start().
    virtual void setHandler(Handler handler) = 0;
};
