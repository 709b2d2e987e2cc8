// The notes and learning sections over the real store: the list, edits, the assistant panel
// with its proposal and diff, reopening a note, the Markdown preview, and accepting suggestions.
#include "SectionRig.h"
#include "ui/sections/LearningSection.h"
#include "ui/sections/LocalModelPane.h"
#include "ui/sections/NotesSection.h"
#include "fakes/LocalHttpServer.h"
#include "ai/AppleIntelligenceService.h"
#include "ui/widgets/MarkdownView.h"
#include "ui/widgets/ProposalDiffView.h"
#include "ai/LearningAnalyzer.h"
#include "fakes/AwaitTask.h"

#include <QComboBox>
#include <QFontDatabase>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTextBlock>

namespace {
QUuid addNote(RecordStore& store, const QString& content, bool favorite = false, int ageSeconds = 0)
{
    Note n;
    n.content = content;
    n.isFavorite = favorite;
    n.updatedAt = QDateTime::currentDateTimeUtc().addSecs(-ageSeconds);
    (void)store.replace(n);
    return n.id;
}
QStringList titles(const NotesSection& s)
{
    QStringList out;
    for (const Note& n : s.shownNotes())
        out << n.displayTitle();
    return out;
}
} // namespace

class TestNotesSections : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void listSearchAndEdits()
    {
        SectionRig rig;
        addNote(rig.store(), "Courses\npain", true, 30);
        const QUuid meeting = addNote(rig.store(), "Réunion\nbudget", false, 10);
        NotesSection section(*rig.context);
        section.activated();
        QCOMPARE(titles(section), (QStringList{"Réunion", "Courses"}));
        QCOMPARE(section.openNoteID(), std::optional<QUuid>(meeting));
        section.setFavoritesOnly(true);
        QCOMPARE(titles(section), QStringList{"Courses"});
        section.setFavoritesOnly(false);
        section.setSearch("BUDGET");
        QCOMPARE(titles(section), QStringList{"Réunion"});
        section.setSearch({});

        section.editor()->setPlainText("Réunion\nbudget 2027");
        section.titleEdit()->setText("Budget");
        Q_EMIT section.titleEdit()->textEdited("Budget");
        QTRY_COMPARE(rig.store().find<Note>(meeting)->content, "Réunion\nbudget 2027"); // after a pause
        QCOMPARE(rig.store().find<Note>(meeting)->title, "Budget");

        section.newNote();
        QCOMPARE(rig.store().count<Note>(), 3);
        section.deleteOpenNote();
        QCOMPARE(rig.store().count<Note>(), 2);
        QCOMPARE(section.openNoteID(), std::nullopt);
        QVERIFY(!section.editor()->isEnabled());
    }

    void assistantProposalAndReopening()
    {
        SectionRig rig;
        rig.settings().setValue("mirelo.ai.respondInFrench", true);
        const QUuid id = addNote(rig.store(), "pain lait oeufs");
        auto section = std::make_unique<NotesSection>(*rig.context);
        section->show();
        section->openNote(id);
        section->setAssistantVisible(true);
        rig.chat.results.push_back(QString("<note>- pain\n- lait\n- œufs</note>"));
        awaitTask(section->ask("Fais une liste"));
        QCOMPARE(rig.chat.calls.size(), 1);
        QCOMPARE(rig.chat.calls[0].maxTokens, 4096);
        QVERIFY(rig.chat.calls[0].system->contains("<note>\npain lait oeufs\n</note>"));
        QVERIFY(section->conversationText().contains("Voici ma proposition ⬇️"));
        QVERIFY(section->proposalView()->isVisible());
        QVERIFY(section->proposalView()->showDiff());
        QTRY_VERIFY(section->proposalView()->diffReady());
        QVERIFY(section->proposalView()->displayedText().contains("oeufs"));
        QVERIFY(section->applyButton()->isVisible());

        // Reopening restores the bubbles and the proposal.
        section = std::make_unique<NotesSection>(*rig.context);
        section->show();
        section->openNote(id);
        section->setAssistantVisible(true);
        QCOMPARE(section->conversation().messages.size(), 2);
        QCOMPARE(section->conversation().latestProposal, "- pain\n- lait\n- œufs");
        QVERIFY(section->applyButton()->isVisible());

        section->applyProposal();
        QCOMPARE(rig.store().find<Note>(id)->content, "- pain\n- lait\n- œufs");
        QCOMPARE(section->editor()->toPlainText(), "- pain\n- lait\n- œufs");
        QVERIFY(!section->applyButton()->isVisible());
    }

    void assistantFailureKeepsTheQuestion()
    {
        SectionRig rig;
        const QUuid id = addNote(rig.store(), "Texte");
        NotesSection section(*rig.context);
        section.openNote(id);
        rig.chat.results.push_back(unexpected(APIError::serverError(0, QString("Apple Intelligence is not available right now."))));
        awaitTask(section.ask("Résume"));
        QCOMPARE(section.assistantStatus(), "Apple Intelligence is not available right now.");
        QCOMPARE(section.questionEdit()->text(), "Résume"); // not lost
        QCOMPARE(rig.store().find<Note>(id)->assistantTranscriptJSON, std::nullopt);
        QVERIFY(section.conversation().messages.isEmpty());
    }

    void previewFormatsCodeAndMath()
    {
        MarkdownView view;
        view.setMarkdownText("# Titre\n\nL'aire vaut $\\pi r^2$.\n\n```cpp\nint x = 1; // un\n```\n");
        QTextDocument& doc = *view.document();
        bool codeMono = false;
        bool keywordBold = false;
        bool commentItalic = false;
        bool mathItalic = false;
        const QString fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont).family();
        for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
            if (b.text().startsWith("int x")) {
                for (auto it = b.begin(); !it.atEnd(); ++it) {
                    const QTextCharFormat f = it.fragment().charFormat();
                    codeMono |= f.font().family() == fixed;
                    keywordBold |= it.fragment().text() == "int" && f.fontWeight() == QFont::Bold;
                    commentItalic |= it.fragment().text() == "// un" && f.fontItalic();
                }
                QCOMPARE(b.blockFormat().background(), view.palette().alternateBase());
            }
            if (b.text().contains("$\\pi")) {
                for (auto it = b.begin(); !it.atEnd(); ++it)
                    if (it.fragment().text().contains("\\pi"))
                        mathItalic = it.fragment().charFormat().fontItalic();
            }
        }
        QVERIFY(codeMono);
        QVERIFY(keywordBold);
        QVERIFY(commentItalic);
        QVERIFY(mathItalic);
    }

    void dictationIntoTheNoteRemembersItsMode()
    {
        SectionRig rig;
        TranscriptionMode mode;
        mode.name = "Notes";
        (void)rig.store().insert(mode);
        const QUuid id = addNote(rig.store(), "Début");
        NotesSection section(*rig.context);
        section.openNote(id);
        section.modeBox()->setCurrentIndex(section.modeBox()->findText("Notes"));
        Q_EMIT section.modeBox()->activated(section.modeBox()->currentIndex());
        QCOMPARE(rig.store().find<Note>(id)->recordingModeID, std::optional<QUuid>(mode.id));
    }

    void dictationIntoTheNoteLandsAtTheCursor()
    {
        SectionRig rig;
        QVERIFY(rig.store().insert(TranscriptionMode{}));
        rig.transcriber.results.push_back(QStringLiteral("milieu"));
        rig.recorder.file = rig.dir.filePath(QStringLiteral("note.wav"));
        const QUuid id = addNote(rig.store(), "Début fin");
        NotesSection section(*rig.context);
        section.openNote(id);
        QPlainTextEdit* editor = nullptr;
        QPushButton* mic = nullptr;
        for (auto* e : section.findChildren<QPlainTextEdit*>())
            if (e->accessibleName() == QStringLiteral("Texte de la note"))
                editor = e;
        for (auto* b : section.findChildren<QPushButton*>())
            if (b->accessibleName() == QStringLiteral("Dicter dans la note"))
                mic = b;
        QVERIFY(editor && mic);
        QTextCursor cursor = editor->textCursor();
        cursor.setPosition(5); // after "Début"
        editor->setTextCursor(cursor);

        mic->click();
        QTRY_COMPARE(rig.controller->state(), RecordingState::recording);
        mic->click();
        // Inserted where the cursor was, with a space before it, and saved with the note.
        QTRY_COMPARE(rig.store().find<Note>(id)->content, QStringLiteral("Début milieu fin"));
        QCOMPARE(editor->toPlainText(), QStringLiteral("Début milieu fin"));
        QCOMPARE(rig.store().count<Transcription>(), 1);
    }

    void learningSuggestions()
    {
        SectionRig rig;
        PromptPreset preset;
        preset.name = "Courriel";
        (void)rig.store().insert(preset);
        DictionaryEntry existing;
        existing.term = "Ovra";
        existing.setPronunciations({"au vrat"});
        (void)rig.store().update(existing);
        LearningSuggestion vocab;
        vocab.kindRaw = "newEntry";
        vocab.title = "Mirelo";
        vocab.suggestedTerm = "Mirelo";
        vocab.suggestedPronunciationsRaw = "mire l’eau";
        vocab.suggestedScopesRaw = DictionaryScopes::transcription;
        LearningSuggestion twin = vocab;
        twin.id = QUuid::createUuid();
        twin.suggestedTerm = "ovra";
        twin.suggestedPronunciationsRaw = "au vrat,ovrah";
        LearningSuggestion rule;
        rule.kindRaw = "styleRule";
        rule.title = "Signature";
        rule.suggestedPromptText = "End with Merci.";
        LearningSuggestion refused = rule;
        refused.id = QUuid::createUuid();
        for (const auto& s : {vocab, twin, rule, refused})
            (void)rig.store().insert(s);

        LearningSection section(*rig.context);
        QCOMPARE(section.pending().size(), 4);
        section.accept(vocab.id);
        section.accept(twin.id);
        section.accept(rule.id, preset.id);
        section.reject(refused.id);
        QVERIFY(section.pending().isEmpty());

        const auto entries = rig.store().fetch<DictionaryEntry>({}, {{"term", true}});
        QCOMPARE(entries.size(), 2); // the twin merged into the existing entry
        QCOMPARE(entries[0].term, "Mirelo");
        QCOMPARE(entries[0].pronunciationsRaw, "mire l’eau");
        QCOMPARE(entries[0].scopesRaw, DictionaryScopes::transcription);
        QCOMPARE(entries[0].origin, "learning");
        QCOMPARE(entries[1].pronunciations(), (QStringList{"au vrat", "ovrah"}));
        const auto stored = *rig.store().find<LearningSuggestion>(rule.id);
        QCOMPARE(stored.statusRaw, "accepted");
        QCOMPARE(stored.appliedToPresetID, std::optional<QUuid>(preset.id));
        QVERIFY(stored.reviewedAt);
        QCOMPARE(rig.store().find<LearningSuggestion>(refused.id)->statusRaw, "rejected");

        // Without an analyser the button is off and says so.
        QVERIFY(!section.analyzeButton()->isEnabled());
    }

    void localModelPaneListsTheServersModels()
    {
        SectionRig rig;
        LocalHttpServer server;
        server.setDefaultReply(LocalHttpServer::Reply::json(
            200, R"({"object":"list","data":[{"id":"llama3.2:latest","owned_by":"library"},{"id":"qwen2.5:7b","owned_by":"library"}]})"));
        AppleIntelligenceService service{rig.services->network(), AppleIntelligenceService::configFrom(rig.settings())};
        LocalModelPane pane(service, rig.settings());
        QCOMPARE(pane.statusText(), AppleIntelligenceService::notEnabledMessage());
        pane.urlEdit()->setText(server.url());
        Q_EMIT pane.urlEdit()->editingFinished();
        QTRY_COMPARE(pane.modelBox()->count(), 2);
        pane.modelBox()->setCurrentText("mistral");
        awaitTask(pane.refresh());
        QCOMPARE(rig.settings().stringValue("ovra.mac.localModel"), std::optional<QString>("mistral"));
        QCOMPARE(pane.statusText(), AppleIntelligenceService::notReadyMessage()); // not pulled
        pane.modelBox()->setCurrentText("llama3.2");
        awaitTask(pane.refresh());
        QCOMPARE(pane.statusText(), "Prêt.");
        QCOMPARE(rig.settings().stringValue("ovra.mac.localModelURL"), std::optional<QString>(server.url()));
    }

    void analysisWithNothingToAnalyze()
    {
        SectionRig rig;
        LearningAnalyzer analyzer{rig.chat, rig.services->onDeviceModel(), rig.settings()};
        rig.context->learning = &analyzer;
        LearningSection section(*rig.context);
        awaitTask(section.analyze());
        QCOMPARE(section.statusText(), "Rien à analyser — corrige d'abord des dictées.");
        QVERIFY(rig.chat.calls.isEmpty());

        Transcription t;
        t.text = "Bonjour";
        (void)rig.store().insert(t);
        rig.chat.results.push_back(QString(R"({"suggestions":[{"kind":"newEntry","title":"T","rationale":"R","term":"Zed"}]})"));
        awaitTask(section.analyze());
        QCOMPARE(section.statusText(), "1 suggestion(s) à examiner.");
        QCOMPARE(section.pending().size(), 1);
    }
};

QTEST_MAIN(TestNotesSections)
#include "tst_notessections.moc"
