#pragma once
// The vocabulary: terms with their pronunciations, replacement, where each is used (speech
// hint, replacement, AI vocabulary), pin and note; usage counts as the pipeline records them.
#include "store/Records.h"
#include "ui/Section.h"
#include "ui/SectionContext.h"

#include <optional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

class DictionarySection : public Section
{
    Q_OBJECT
public:
    DictionarySection(SectionContext& context, QWidget* parent = nullptr);

    void activated() override;
    void setFilter(const QString& text);
    // Entries shown, in the table's order (pinned first, then by term).
    QList<DictionaryEntry> shownEntries() const { return m_shown; }
    void select(const QUuid& id);
    std::optional<QUuid> selectedID() const { return m_selected; }

    // Form → store. A new entry when nothing is selected. Error message when refused.
    std::optional<QString> save();
    void newEntry();
    void deleteSelected(); // no confirmation here; the button asks
    QString statusText() const;

    QLineEdit* termEdit() const { return m_term; }
    QLineEdit* pronunciationsEdit() const { return m_pronunciations; }
    QLineEdit* replacementEdit() const { return m_replacement; }
    QLineEdit* noteEdit() const { return m_note; }
    QCheckBox* scopeBox(int bit) const;
    QCheckBox* pinnedBox() const { return m_pinned; }

private:
    void reload();
    void loadForm();
    void setStatus(const QString& text);

    SectionContext& m_context;
    QList<DictionaryEntry> m_all;
    QList<DictionaryEntry> m_shown;
    std::optional<QUuid> m_selected;
    bool m_loading = false;

    QLineEdit* m_filter;
    QTableWidget* m_table;
    QLineEdit* m_term;
    QLineEdit* m_pronunciations;
    QLineEdit* m_replacement;
    QCheckBox* m_hint;
    QCheckBox* m_replace;
    QCheckBox* m_vocabulary;
    QCheckBox* m_pinned;
    QLineEdit* m_note;
    QPushButton* m_save;
    QPushButton* m_new;
    QPushButton* m_delete;
    QLabel* m_status;
};
