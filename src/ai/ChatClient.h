#pragma once
// One request to a language model; ClaudeAPIManager implements it.
#include "ChatMessage.h"
#include "network/APIError.h"
#include "store/Enums.h"
#include "store/Expected.h"

#include <QCoroTask>
#include <optional>

// An answer and what its own call cost (absent for an on-device answer).
struct ChatAnswer
{
    QString text;
    std::optional<double> costUSD;
};

class ChatClient
{
public:
    virtual ~ChatClient() = default;
    virtual QCoro::Task<Expected<ChatAnswer, APIError>> ask(QList<ChatMessage> messages, QString model,
                                                            std::optional<QString> system, int maxTokens,
                                                            AIProvider provider) = 0;
    // The text alone, for callers that do not account the cost.
    QCoro::Task<Expected<QString, APIError>> send(QList<ChatMessage> messages, QString model,
                                                  std::optional<QString> system, int maxTokens, AIProvider provider)
    {
        auto asking = ask(std::move(messages), std::move(model), std::move(system), maxTokens, provider);
        auto answer = co_await asking;
        if (!answer)
            co_return unexpected(answer.error());
        co_return answer->text;
    }
    // Cost of the last successful cloud call to finish, for views; absent after an error or an
    // on-device answer. Calls overlap, so a caller charging its own call takes ChatAnswer::costUSD.
    virtual std::optional<double> lastCostUSD() const = 0;
};
