#include "NotesAssistant.h"

#include "store/RecordStore.h"
#include "store/Settings.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>

QString PersistedConversation::toJson() const
{
    QJsonArray items;
    for (const AssistantBubble& b : messages) {
        QJsonObject o{{QStringLiteral("role"), b.role}, {QStringLiteral("text"), b.text}};
        if (b.proposal)
            o.insert(QStringLiteral("proposal"), *b.proposal);
        items.append(o);
    }
    QJsonObject root{{QStringLiteral("messages"), items}};
    if (latestProposal)
        root.insert(QStringLiteral("latestProposal"), *latestProposal);
    if (unreadable)
        root.insert(QStringLiteral("unreadableTranscript"), *unreadable);
    return QString::fromUtf8(QJsonDocument(root).toJson(QJsonDocument::Compact));
}

PersistedConversation PersistedConversation::fromJson(const std::optional<QString>& json)
{
    PersistedConversation out;
    if (!json || json->trimmed().isEmpty())
        return out;
    const QJsonDocument doc = QJsonDocument::fromJson(json->toUtf8());
    if (!doc.isObject()) {
        out.unreadable = *json;
        return out;
    }
    const QJsonObject root = doc.object();
    if (const QJsonValue kept = root.value(QLatin1String("unreadableTranscript")); kept.isString())
        out.unreadable = kept.toString();
    for (const QJsonValue& v : root.value(QLatin1String("messages")).toArray()) {
        const QJsonObject o = v.toObject();
        const QJsonValue role = o.value(QLatin1String("role"));
        const QJsonValue text = o.value(QLatin1String("text"));
        if (!role.isString() || !text.isString())
            continue;
        AssistantBubble b{role.toString(), text.toString(), std::nullopt};
        if (const QJsonValue p = o.value(QLatin1String("proposal")); p.isString())
            b.proposal = p.toString();
        out.messages << b;
    }
    if (const QJsonValue p = root.value(QLatin1String("latestProposal")); p.isString())
        out.latestProposal = p.toString();
    return out;
}

NotesAssistant::NotesAssistant(ChatClient& claude, Settings& settings, QObject* parent)
    : QObject(parent), m_claude(claude), m_settings(settings)
{
}

QString NotesAssistant::systemPrompt(const QString& note, bool respondInFrench)
{
    QString prompt =
        QStringLiteral("You are a writing assistant inside Mirelo, a dictation app. The user is editing a note and "
                       "wants your help to rework it (rewrite, restructure, summarize, fix, expand…).\n\nThe current "
                       "note is:\n<note>\n") +
        note +
        QStringLiteral("\n</note>\n\nOn EVERY reply: discuss briefly (1-3 sentences), then include your best complete "
                       "revised version of the WHOLE note wrapped EXACTLY in <note> and </note> tags. The revised note "
                       "must be standalone (it fully replaces the current one) and keep the language of the note "
                       "unless the user asks otherwise.");
    if (respondInFrench)
        prompt += QStringLiteral("\n\nWrite your conversational replies in natural Canadian French. The <note> content "
                                 "language follows the rule above.");
    return prompt;
}

QString NotesAssistant::proposalOnlyText(bool respondInFrench)
{
    return respondInFrench ? QStringLiteral("Voici ma proposition ⬇️") : QStringLiteral("Here is my proposal ⬇️");
}

AssistantBubble NotesAssistant::parseReply(const QString& reply, bool respondInFrench)
{
    static const QString open = QStringLiteral("<note>");
    static const QString close = QStringLiteral("</note>");
    AssistantBubble bubble{QStringLiteral("assistant"), reply, std::nullopt};
    const qsizetype start = reply.indexOf(open);
    const qsizetype end = start < 0 ? -1 : reply.indexOf(close, start + open.size());
    if (end < 0)
        return bubble;
    bubble.proposal = reply.mid(start + open.size(), end - start - open.size()).trimmed();
    bubble.text = QString(reply.left(start) + reply.mid(end + close.size())).trimmed();
    if (bubble.text.isEmpty())
        bubble.text = proposalOnlyText(respondInFrench);
    return bubble;
}

QCoro::Task<Expected<PersistedConversation, APIError>> NotesAssistant::send(PersistedConversation conversation,
                                                                            QString note, QString message)
{
    QPointer<NotesAssistant> self(this);
    const bool french = m_settings.boolValue(SharedDefaultsKey::aiRespondInFrench, false);
    const AIChoice choice = AIProviderSettings::resolved(AIFeature::notes, m_settings);
    QList<ChatMessage> messages;
    for (const AssistantBubble& b : conversation.messages)
        messages << ChatMessage{b.role == QLatin1String("assistant") ? QStringLiteral("assistant") : QStringLiteral("user"),
                                b.text};
    messages << ChatMessage::user(message);

    if (m_pending++ == 0) {
        m_thinking = true;
        Q_EMIT isThinkingChanged(true);
    }
    auto sending = m_claude.send(messages, choice.model, systemPrompt(note, french), kMaxTokens, choice.provider);
    const auto reply = co_await sending;
    if (self && --m_pending == 0) {
        m_thinking = false;
        Q_EMIT isThinkingChanged(false);
    }
    if (!reply)
        co_return unexpected(reply.error());
    const AssistantBubble answer = parseReply(*reply, french);
    conversation.messages << AssistantBubble{QStringLiteral("user"), message, std::nullopt} << answer;
    if (answer.proposal)
        conversation.latestProposal = answer.proposal;
    co_return conversation;
}

StoreResult NotesAssistant::save(RecordStore& store, const QUuid& noteID, const PersistedConversation& conversation)
{
    return store.save([&]() -> StoreResult {
        auto note = store.find<Note>(noteID);
        if (!note)
            return unexpected(StoreError{QStringLiteral("La note n'existe plus.")});
        note->assistantTranscriptJSON = conversation.toJson();
        return store.update(*note);
    });
}

StoreResult NotesAssistant::apply(RecordStore& store, const QUuid& noteID, PersistedConversation& conversation)
{
    if (!conversation.latestProposal)
        return {};
    const QString proposal = *conversation.latestProposal;
    conversation.latestProposal.reset();
    const QString json = conversation.toJson();
    const StoreResult r = store.save([&]() -> StoreResult {
        auto note = store.find<Note>(noteID);
        if (!note)
            return unexpected(StoreError{QStringLiteral("La note n'existe plus.")});
        note->content = proposal;
        note->assistantTranscriptJSON = json;
        return store.update(*note);
    });
    if (!r)
        conversation.latestProposal = proposal;
    return r;
}
