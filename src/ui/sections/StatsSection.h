#pragma once
// The statistics section: the figures of the dictation, the words per day over the last 30 days,
// and the world leaderboard with the user's line highlighted, the rank, "load more", the pseudo,
// the switch to take part, and the last good page while loading or offline.
#include "ui/Section.h"
#include "ui/SectionContext.h"

#include <QMap>

class LeaderboardManager;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class WordsPerDayChart;

class StatsSection : public Section
{
    Q_OBJECT
public:
    StatsSection(SectionContext& context, QWidget* parent = nullptr);

    void activated() override;

    // The shown text of a figure, by its field name ("totalWords", ...).
    QString figureText(const QString& field) const;
    WordsPerDayChart* chart() const { return m_chart; }
    QTableWidget* boardTable() const { return m_board; }
    QLabel* rankLabel() const { return m_rank; }
    QLabel* boardStatusLabel() const { return m_status; }
    QPushButton* loadMoreButton() const { return m_loadMore; }
    QLineEdit* pseudoEdit() const { return m_pseudo; }
    QCheckBox* takePartBox() const { return m_takePart; }
    QLineEdit* joinNameEdit() const { return m_joinName; }
    QLineEdit* joinPasswordEdit() const { return m_joinPassword; }
    QPushButton* joinButton() const { return m_join; }

private:
    QWidget* buildFigures();
    QWidget* buildBoard();
    void refreshFigures();
    void refreshBoard();
    void showBoardState();
    void showLines();
    void showPage(int index);
    void join();
    void setTakingPart(bool on);

    SectionContext& m_context;
    LeaderboardManager* m_manager;
    QMap<QString, QLabel*> m_figures;
    WordsPerDayChart* m_chart = nullptr;
    QList<QWidget*> m_pages;
    QLabel* m_offNotice = nullptr;
    QLineEdit* m_joinName = nullptr;
    QLineEdit* m_joinPassword = nullptr;
    QPushButton* m_join = nullptr;
    QLabel* m_joinError = nullptr;
    QTableWidget* m_board = nullptr;
    QLabel* m_rank = nullptr;
    QLabel* m_status = nullptr;
    QPushButton* m_loadMore = nullptr;
    QLineEdit* m_pseudo = nullptr;
    QCheckBox* m_takePart = nullptr;
};
