// The notes assistant through the real chat client against a local server: the system prompt,
// the conversation sent, how replies split into text and proposal, and what the note keeps.
#include "AIFeatureRig.h"
#include "ai/NotesAssistant.h"

#include <QSignalSpy>
#include <QTest>

using Reply = LocalHttpServer::Reply;

namespace {

struct Rig : AIFeatureRig
{
    NotesAssistant assistant{claude, settings};
    Note note;

    Rig()
    {
        note.content = "Liste : pain, lait";
        (void)store->insert(note);
    }
    Expected<PersistedConversation, APIError> send(const PersistedConversation& c, const QString& message)
    {
        return awaitTask(assistant.send(c, store->find<Note>(note.id)->content, message));
    }
};

} // namespace

class TestNotesAssistant : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void replies_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<bool>("french");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("proposal"); // "-": none
        QTest::newRow("discussion and note") << "J'ai trié.\n<note>\n- lait\n- pain\n</note>\nÇa te va ?" << true
                                             << "J'ai trié.\n\nÇa te va ?" << "- lait\n- pain";
        QTest::newRow("only a note, French") << "  <note>Tout neuf</note>  " << true << "Voici ma proposition ⬇️"
                                             << "Tout neuf";
        QTest::newRow("only a note, English") << "<note>New</note>" << false << "Here is my proposal ⬇️" << "New";
        QTest::newRow("no tags") << "Peux-tu préciser ?" << true << "Peux-tu préciser ?" << "-";
        QTest::newRow("no closing tag") << "Voici <note>début" << true << "Voici <note>début" << "-";
        QTest::newRow("closing before opening") << "</note> x <note>y" << true << "</note> x <note>y" << "-";
        QTest::newRow("first pair only") << "<note>A</note> puis <note>B</note>" << true << "puis <note>B</note>" << "A";
    }
    void replies()
    {
        QFETCH(QString, reply);
        QFETCH(bool, french);
        QFETCH(QString, text);
        QFETCH(QString, proposal);
        const AssistantBubble b = NotesAssistant::parseReply(reply, french);
        QCOMPARE(b.role, "assistant");
        QCOMPARE(b.text, text);
        QCOMPARE(b.proposal, proposal == "-" ? std::nullopt : std::optional<QString>(proposal));
    }

    void conversationIsSentAndKept()
    {
        Rig rig;
        rig.settings.setValue("mirelo.ai.respondInFrench", true);
        rig.settings.setValue("mirelo.ai.notes.providerRaw", "claude");
        rig.settings.setValue("mirelo.ai.notes.model", "claude-sonnet-4-6");
        rig.cloud.enqueue(Rig::anthropic("Trié.\n<note>- lait\n- pain</note>"));
        QSignalSpy thinking(&rig.assistant, &NotesAssistant::isThinkingChanged);
        auto first = rig.send({}, "Trie la liste");
        QVERIFY(first);
        QCOMPARE(thinking.size(), 2);
        const QJsonObject body = rig.lastCloudBody();
        QCOMPARE(body.value("model").toString(), "claude-sonnet-4-6");
        QCOMPARE(body.value("max_tokens").toInt(), 4096);
        const QString system = body.value("system").toString();
        QCOMPARE(system, NotesAssistant::systemPrompt("Liste : pain, lait", true));
        QVERIFY(system.startsWith("You are a writing assistant inside Mirelo, a dictation app."));
        QVERIFY(system.contains("The current note is:\n<note>\nListe : pain, lait\n</note>\n\nOn EVERY reply:"));
        QVERIFY(system.endsWith("\n\nWrite your conversational replies in natural Canadian French. The <note> content "
                                "language follows the rule above."));
        QCOMPARE(first->latestProposal, "- lait\n- pain");
        QVERIFY(NotesAssistant::save(*rig.store, rig.note.id, *first));

        // Reopening: the bubbles and the proposal come back from the note; the next request
        // carries the conversation so far; a reply without tags keeps the last proposal.
        const auto reopened =
            PersistedConversation::fromJson(rig.store->find<Note>(rig.note.id)->assistantTranscriptJSON);
        QCOMPARE(reopened, *first);
        QCOMPARE(reopened.messages.size(), 2);
        rig.cloud.enqueue(Rig::anthropic("D'accord, rien d'autre."));
        auto second = rig.send(reopened, "Merci");
        QVERIFY(second);
        QCOMPARE(rig.lastCloudBody().value("messages").toArray(),
                 (QJsonArray{QJsonObject{{"role", "user"}, {"content", "Trie la liste"}},
                             QJsonObject{{"role", "assistant"}, {"content", "Trié."}},
                             QJsonObject{{"role", "user"}, {"content", "Merci"}}}));
        QCOMPARE(second->messages.size(), 4);
        QCOMPARE(second->messages.last(), (AssistantBubble{"assistant", "D'accord, rien d'autre.", std::nullopt}));
        QCOMPARE(second->latestProposal, "- lait\n- pain");

        // Applying replaces the content and clears the proposal, keeping the bubbles.
        PersistedConversation c = *second;
        QVERIFY(NotesAssistant::apply(*rig.store, rig.note.id, c));
        const Note applied = *rig.store->find<Note>(rig.note.id);
        QCOMPARE(applied.content, "- lait\n- pain");
        QCOMPARE(PersistedConversation::fromJson(applied.assistantTranscriptJSON), c);
        QCOMPARE(c.latestProposal, std::nullopt);
        QCOMPARE(c.messages.size(), 4);
    }

    void failureStoresNothing()
    {
        Rig rig;
        rig.cloud.enqueue(Reply::json(500, R"({"error":{"message":"boom"}})"));
        const auto r = rig.send({}, "Aide-moi");
        QCOMPARE(r.error(), APIError::serverError(500, QString("boom")));
        QVERIFY(!rig.assistant.isThinking());
        QCOMPARE(rig.store->find<Note>(rig.note.id)->assistantTranscriptJSON, std::nullopt);
    }

    void unreadableTranscripts_data()
    {
        QTest::addColumn<QString>("json");
        QTest::addColumn<int>("bubbles");
        QTest::addColumn<bool>("kept");
        QTest::newRow("not JSON") << "{{{" << 0 << true;
        QTest::newRow("array") << "[1,2]" << 0 << true;
        QTest::newRow("bad bubble skipped")
            << R"({"messages":[{"role":"user","text":"ok"},{"role":3,"text":"x"},"junk"],"latestProposal":5})" << 1
            << false;
        QTest::newRow("blank") << "  " << 0 << false;
    }
    void unreadableTranscripts()
    {
        QFETCH(QString, json);
        QFETCH(int, bubbles);
        QFETCH(bool, kept);
        PersistedConversation c = PersistedConversation::fromJson(json);
        QCOMPARE(c.messages.size(), bubbles);
        QCOMPARE(c.latestProposal, std::nullopt);
        QCOMPARE(c.unreadable, kept ? std::optional<QString>(json) : std::nullopt);

        // The conversation the user goes on with keeps what could not be read, save after save.
        c.messages << AssistantBubble{"user", "Bonjour", std::nullopt};
        const PersistedConversation saved = PersistedConversation::fromJson(c.toJson());
        QCOMPARE(saved, c);
        QCOMPARE(PersistedConversation::fromJson(saved.toJson()).unreadable, c.unreadable);
    }
};

QTEST_GUILESS_MAIN(TestNotesAssistant)
#include "tst_notesassistant.moc"
