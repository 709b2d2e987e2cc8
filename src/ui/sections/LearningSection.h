#pragma once
// What the user's corrections taught: "Analyser mes corrections" and the pending suggestions,
// each accepted ("Accepter": a vocabulary entry, or a style rule bound to a prompt) or refused.
#include "store/Records.h"
#include "ui/Section.h"
#include "ui/SectionContext.h"

#include <QCoroTask>

class QLabel;
class QPushButton;
class QVBoxLayout;

class LearningSection : public Section
{
    Q_OBJECT
public:
    LearningSection(SectionContext& context, QWidget* parent = nullptr);

    void activated() override;
    QCoro::Task<> analyze();
    QString statusText() const;
    QList<LearningSuggestion> pending() const { return m_pending; }
    // presetID: the prompt a style rule goes with (absent: dictations made without one).
    void accept(const QUuid& id, std::optional<QUuid> presetID = std::nullopt);
    void reject(const QUuid& id);
    QPushButton* analyzeButton() const { return m_analyze; }

private:
    void reload();
    QWidget* card(const LearningSuggestion& s, const QList<PromptPreset>& presets);

    SectionContext& m_context;
    QList<LearningSuggestion> m_pending;
    QPushButton* m_analyze;
    QLabel* m_status;
    QLabel* m_accepted;
    QVBoxLayout* m_cards;
};
