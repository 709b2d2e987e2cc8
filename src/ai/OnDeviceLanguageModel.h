#pragma once
// The desktop's on-device language model, used for the provider appleIntelligence.
#include "ChatMessage.h"
#include "network/APIError.h"
#include "store/Expected.h"

#include <QCoroTask>
#include <optional>

class OnDeviceLanguageModel
{
public:
    virtual ~OnDeviceLanguageModel() = default;
    // Absent when the model can answer; otherwise why not, for the user.
    virtual std::optional<QString> availabilityMessage() const = 0;
    virtual QCoro::Task<Expected<QString, APIError>> respond(QList<ChatMessage> messages, std::optional<QString> system,
                                                             int maxTokens) = 0;
};
