#pragma once
// The error body every cloud provider sends: {"error": {"message": "…"}}.
#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <optional>

inline std::optional<QString> errorEnvelopeMessage(const QByteArray& body)
{
    const QJsonValue message = QJsonDocument::fromJson(body).object().value(QStringLiteral("error")).toObject().value(
        QStringLiteral("message"));
    if (!message.isString())
        return std::nullopt;
    return message.toString();
}
