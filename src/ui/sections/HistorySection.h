#pragma once
// The history of dictations: search as you type, the texts of each stage, timings and cost,
// star, correction, copy, deletion and re-processing under another mode with its diff.
#include "ai/HistoryReprocessor.h"
#include "ui/Section.h"
#include "ui/SectionContext.h"

#include <QCoroTask>
#include <memory>
#include <optional>

class HistoryListModel;
class ProposalDiffView;
class QComboBox;
class QLabel;
class QLineEdit;
class QListView;
class QPlainTextEdit;
class QFormLayout;
class QPushButton;
class QScrollArea;
class QStackedWidget;
class QWidget;

class HistorySection : public Section
{
    Q_OBJECT
public:
    HistorySection(SectionContext& context, QWidget* parent = nullptr);
    ~HistorySection() override;

    void activated() override;

    HistoryListModel& model() { return *m_model; }
    std::optional<QUuid> selectedID() const { return m_selected; }
    void select(const QUuid& id);
    void setSearch(const QString& text);

    // The actions of the detail pane, also reached by its buttons.
    void toggleStar();
    // Stores text as the user's correction; an empty or unchanged text removes nothing.
    void saveCorrection(const QString& text);
    void copyFinalText();
    void deleteSelected(); // no confirmation here; the button asks
    QCoro::Task<> reprocess(QUuid modeID);
    void applyProposal();
    ProposalDiffView& proposalView() { return *m_proposalView; }
    QString statusText() const;

Q_SIGNALS:
    void reprocessFinished();

protected:
    // A hidden history does not read the store after every dictation.
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    std::optional<Transcription> current() const;
    void showDetails();
    void setStatus(const QString& text);
    void refreshModes();
    QWidget* buildDetails();

    SectionContext& m_context;
    HistoryListModel* m_model;
    std::unique_ptr<HistoryReprocessor> m_reprocessor;
    QLineEdit* m_search;
    QComboBox* m_categoryFilter;
    QLabel* m_count;
    QListView* m_list;
    QStackedWidget* m_detailStack;
    QScrollArea* m_detailScroll;
    QFormLayout* m_texts;
    QLabel* m_header;
    QLabel* m_timings;
    QPushButton* m_star;
    QPlainTextEdit* m_rawText;
    QPlainTextEdit* m_replacedText;
    QPlainTextEdit* m_aiText;
    QPlainTextEdit* m_finalText;
    QPushButton* m_saveCorrection;
    QComboBox* m_modes;
    QPushButton* m_reprocessButton;
    QPushButton* m_applyButton;
    ProposalDiffView* m_proposalView;
    QLabel* m_status;
    std::optional<QUuid> m_selected;
    std::optional<ReprocessProposal> m_proposal;
    std::optional<QUuid> m_proposalFor;
    bool m_busy = false;
};
