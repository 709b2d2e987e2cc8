#pragma once
// Saved prompts: pinned ones first, edit with a version kept per save, pin (offered to the
// keyboard companion), trash and restore, and the versions of a prompt to bring one back.
#include "store/Records.h"
#include "ui/Section.h"
#include "ui/SectionContext.h"

#include <optional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;

class PromptsSection : public Section
{
    Q_OBJECT
public:
    PromptsSection(SectionContext& context, QWidget* parent = nullptr);

    void activated() override;

    // The list shows the trash instead of the prompts in use.
    void setShowTrash(bool on);
    QList<PromptPreset> shownPresets() const { return m_shown; }
    void select(const QUuid& id);
    std::optional<QUuid> selectedID() const { return m_selected; }
    // Versions of the selected prompt, newest first.
    QList<PromptVersion> versions() const { return m_versions; }

    QUuid newPrompt();
    // Form → store, with a version of the saved state. Error message when refused.
    std::optional<QString> save();
    void setPinned(bool on);
    void moveToTrash();
    void restoreFromTrash();
    void deleteForever(); // no confirmation here; the button asks
    // Puts the version's text in the form; saving makes it current.
    void takeVersion(int index);
    QString statusText() const;

    QLineEdit* nameEdit() const { return m_name; }
    QPlainTextEdit* promptEdit() const { return m_prompt; }

private:
    void reload();
    void loadForm();
    void publish();
    void setStatus(const QString& text);

    SectionContext& m_context;
    bool m_showTrash = false;
    QList<PromptPreset> m_shown;
    QList<PromptVersion> m_versions;
    std::optional<QUuid> m_selected;
    std::optional<QUuid> m_formID; // the prompt the form shows
    bool m_loading = false;
    bool m_dirty = false; // the form holds an edit not saved yet

    QListWidget* m_list;
    QCheckBox* m_trashToggle;
    QPushButton* m_new;
    QLineEdit* m_name;
    QPlainTextEdit* m_prompt;
    QCheckBox* m_pinned;
    QPushButton* m_save;
    QPushButton* m_trash;
    QPushButton* m_restore;
    QPushButton* m_delete;
    QListWidget* m_versionList;
    QPushButton* m_takeVersion;
    QLabel* m_status;
};
