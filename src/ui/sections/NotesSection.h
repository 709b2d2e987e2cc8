#pragma once
// The notes: a list with search and favourites, an editor with its Markdown preview, dictation
// into the note at its cursor, and the assistant panel ("Assistant IA") whose proposals are
// shown as changes before they replace the note.
#include "ai/NotesAssistant.h"
#include "store/Records.h"
#include "ui/Section.h"
#include "ui/SectionContext.h"

#include <QCoroTask>
#include <memory>

class MarkdownView;
class ProposalDiffView;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QTextBrowser;
class QTimer;

class NotesSection : public Section
{
    Q_OBJECT
public:
    NotesSection(SectionContext& context, QWidget* parent = nullptr);
    ~NotesSection() override;

    void activated() override;

    // The list as shown (search and favourites applied), newest first.
    QList<Note> shownNotes() const { return m_shown; }
    void setSearch(const QString& text);
    void setFavoritesOnly(bool on);
    void openNote(const QUuid& id);
    std::optional<QUuid> openNoteID() const { return m_noteID; }
    void newNote();
    void deleteOpenNote(); // no confirmation here; the button asks
    // Writes pending edits now (otherwise done after a pause in typing).
    void flush();

    void setAssistantVisible(bool on);
    bool assistantVisible() const;
    QCoro::Task<> ask(QString message);
    void applyProposal();
    const PersistedConversation& conversation() const { return m_conversation; }
    QString conversationText() const;
    QString assistantStatus() const;

    QPlainTextEdit* editor() const { return m_editor; }
    QLineEdit* titleEdit() const { return m_title; }
    MarkdownView* preview() const { return m_preview; }
    ProposalDiffView* proposalView() const { return m_proposal; }
    QPushButton* applyButton() const { return m_apply; }
    QTabWidget* tabs() const { return m_tabs; }
    QComboBox* modeBox() const { return m_mode; }
    QLineEdit* questionEdit() const { return m_question; }
    // Dictation into the note: starts, or stops the one running.
    void toggleDictation();

private:
    void reload();
    void showNote(const std::optional<Note>& note);
    void renderConversation();
    void renderPreview();
    void scheduleSave();
    void dictationText();
    void reloadModes();

    SectionContext& m_context;
    std::unique_ptr<NotesAssistant> m_assistant;
    QList<Note> m_all;
    QList<Note> m_shown;
    std::optional<QUuid> m_noteID;
    PersistedConversation m_conversation;
    bool m_loading = false;
    bool m_dirty = false;
    bool m_dictating = false;
    QString m_assistantError;

    QLineEdit* m_search;
    QCheckBox* m_favoritesOnly;
    QListWidget* m_list;
    QPushButton* m_new;
    QPushButton* m_delete;
    QLineEdit* m_title;
    QCheckBox* m_favorite;
    QComboBox* m_mode;
    QPushButton* m_mic;
    QTabWidget* m_tabs;
    QPlainTextEdit* m_editor;
    MarkdownView* m_preview;
    QPushButton* m_assistantToggle;
    QWidget* m_assistantPanel;
    QTextBrowser* m_bubbles;
    QLabel* m_status;
    QLineEdit* m_question;
    QPushButton* m_send;
    ProposalDiffView* m_proposal;
    QPushButton* m_apply;
    QTimer* m_saveTimer;
    QTimer* m_previewTimer;
};
