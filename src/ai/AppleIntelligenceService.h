#pragma once
// The on-device model service. No on-device language model is available on this desktop yet:
// every call fails with the unavailable message, and the cloud providers keep working.
#include "OnDeviceLanguageModel.h"

class AppleIntelligenceService : public OnDeviceLanguageModel
{
public:
    static QString unavailableMessage() { return QStringLiteral("Apple Intelligence is not available right now."); }

    std::optional<QString> availabilityMessage() const override { return unavailableMessage(); }
    QCoro::Task<Expected<QString, APIError>> respond(QList<ChatMessage>, std::optional<QString>, int) override
    {
        co_return unexpected(APIError::serverError(0, unavailableMessage()));
    }
};
