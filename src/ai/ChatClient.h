#pragma once
// One request to a language model; ClaudeAPIManager implements it.
#include "ChatMessage.h"
#include "network/APIError.h"
#include "store/Enums.h"
#include "store/Expected.h"

#include <QCoroTask>
#include <optional>

class ChatClient
{
public:
    virtual ~ChatClient() = default;
    virtual QCoro::Task<Expected<QString, APIError>> send(QList<ChatMessage> messages, QString model,
                                                          std::optional<QString> system, int maxTokens,
                                                          AIProvider provider) = 0;
    // Cost of the last successful cloud call; absent after an error or an on-device answer.
    virtual std::optional<double> lastCostUSD() const = 0;
};
