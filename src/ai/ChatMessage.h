#pragma once
// One turn of a conversation with a language model.
#include <QJsonObject>
#include <QList>
#include <QString>

struct ChatMessage
{
    // "user" or "assistant"; anything else counts as the user side.
    QString role;
    QString content;

    static ChatMessage user(const QString& text) { return {QStringLiteral("user"), text}; }
    bool isAssistant() const { return role == QLatin1String("assistant"); }
    QJsonObject toJson() const
    {
        return QJsonObject{{QStringLiteral("role"), role}, {QStringLiteral("content"), content}};
    }
    friend bool operator==(const ChatMessage&, const ChatMessage&) = default;
};
