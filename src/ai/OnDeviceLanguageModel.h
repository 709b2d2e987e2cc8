#pragma once
// The desktop's on-device language model, used for the provider appleIntelligence.
#include "ChatMessage.h"
#include "network/APIError.h"
#include "store/Expected.h"

#include <QCoroTask>
#include <QJsonObject>
#include <QJsonValue>
#include <optional>

// A declared answer shape for guided generation: a JSON schema (objects, arrays, strings,
// enumerations) and its name.
struct GenerationSchema
{
    QString name;
    QJsonObject schema;
};

class OnDeviceLanguageModel
{
public:
    virtual ~OnDeviceLanguageModel() = default;
    // Absent when the model could answer when last asked; otherwise why not, for the user.
    virtual std::optional<QString> availabilityMessage() const = 0;
    // Asks the model now; the answer also becomes availabilityMessage().
    virtual QCoro::Task<std::optional<QString>> checkAvailability() = 0;
    virtual QCoro::Task<Expected<QString, APIError>> respond(QList<ChatMessage> messages, std::optional<QString> system,
                                                             int maxTokens) = 0;
    // Guided generation: a value of the schema, checked against it, or an error.
    virtual QCoro::Task<Expected<QJsonValue, APIError>> generate(std::optional<QString> instructions, QString prompt,
                                                                 GenerationSchema schema, int maxTokens) = 0;
};
