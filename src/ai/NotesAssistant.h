#pragma once
// The assistant inside a note: talks about the note and, on every reply, proposes a complete
// revised version of it. The conversation is kept in the note (assistantTranscriptJSON).
#include "AIProviderSettings.h"
#include "ChatClient.h"
#include "store/RecordStore.h"
#include "store/Records.h"

#include <QObject>

class RecordStore;
class Settings;

struct AssistantBubble
{
    QString role; // "user" or "assistant"
    QString text;
    std::optional<QString> proposal; // the full revised note an assistant reply carries
    friend bool operator==(const AssistantBubble&, const AssistantBubble&) = default;
};

struct PersistedConversation
{
    QList<AssistantBubble> messages;
    std::optional<QString> latestProposal; // the most recent proposal not yet applied
    // A stored transcript that could not be read, carried along under "unreadableTranscript" so
    // that the conversation started in its place never erases it.
    std::optional<QString> unreadable;

    QString toJson() const;
    // A missing or unreadable text gives an empty conversation.
    static PersistedConversation fromJson(const std::optional<QString>& json);
    friend bool operator==(const PersistedConversation&, const PersistedConversation&) = default;
};

class NotesAssistant : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool isThinking READ isThinking NOTIFY isThinkingChanged)
public:
    static constexpr int kMaxTokens = 4096;

    NotesAssistant(ChatClient& claude, Settings& settings, QObject* parent = nullptr);

    bool isThinking() const { return m_thinking; }

    static QString systemPrompt(const QString& note, bool respondInFrench);
    // Splits a reply into its chat text and the proposal between <note> and </note>.
    static AssistantBubble parseReply(const QString& reply, bool respondInFrench);
    static QString thinkingText() { return QStringLiteral("L'assistant réfléchit…"); }
    static QString proposalOnlyText(bool respondInFrench);

    // Sends the user's message about the note: on success the conversation grows by the user's
    // bubble and the reply's, and is written into the note. On failure nothing is stored.
    QCoro::Task<Expected<PersistedConversation, APIError>> send(PersistedConversation conversation, QString note,
                                                                QString message);

    // Writes the conversation into the note, leaving its other fields as they are now.
    static StoreResult save(RecordStore& store, const QUuid& noteID, const PersistedConversation& conversation);
    // Replaces the note's content by the proposal and clears latestProposal.
    static StoreResult apply(RecordStore& store, const QUuid& noteID, PersistedConversation& conversation);

Q_SIGNALS:
    void isThinkingChanged(bool thinking);

private:
    ChatClient& m_claude;
    Settings& m_settings;
    bool m_thinking = false;
    int m_pending = 0;
};
