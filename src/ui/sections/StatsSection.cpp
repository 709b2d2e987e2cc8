#include "StatsSection.h"

#include "leaderboard/LeaderboardManager.h"
#include "network/Pricing.h"
#include "stats/BackupStats.h"
#include "stats/DailyWords.h"
#include "store/Settings.h"
#include "ui/widgets/WordsPerDayChart.h"

#include <QCheckBox>
#include <QCoroTask>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QScrollArea>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

const QLocale kFrench(QLocale::French);

QString count(qint64 v) { return kFrench.toString(v); }

QString duration(double seconds)
{
    const qint64 minutes = qint64(seconds / 60);
    return QStringLiteral("%1 h %2 min").arg(minutes / 60).arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QString rankText(qint64 rank, bool capped)
{
    return capped ? QStringLiteral("≥ ") + count(rank) : count(rank);
}

} // namespace

StatsSection::StatsSection(SectionContext& context, QWidget* parent)
    : Section(MacSection::stats, parent), m_context(context), m_manager(context.leaderboard)
{
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    outer->addWidget(scroll);
    auto* content = new QWidget(scroll);
    scroll->setWidget(content);
    auto* layout = new QVBoxLayout(content);
    layout->addWidget(buildFigures());
    auto* chartBox = new QGroupBox(QStringLiteral("Mots dictés par jour (30 derniers jours)"), content);
    auto* chartLayout = new QVBoxLayout(chartBox);
    m_chart = new WordsPerDayChart(chartBox);
    chartLayout->addWidget(m_chart);
    layout->addWidget(chartBox);
    layout->addWidget(buildBoard());
    layout->addStretch();

    if (m_manager) {
        connect(m_manager, &LeaderboardManager::entriesChanged, this, &StatsSection::showLines);
        connect(m_manager, &LeaderboardManager::isLoadingChanged, this, &StatsSection::showBoardState);
        connect(m_manager, &LeaderboardManager::isLoadingMoreChanged, this, &StatsSection::showBoardState);
        connect(m_manager, &LeaderboardManager::hasMoreChanged, this, &StatsSection::showBoardState);
        connect(m_manager, &LeaderboardManager::errorMessageChanged, this, &StatsSection::showBoardState);
        connect(m_manager, &LeaderboardManager::removalErrorMessageChanged, this, &StatsSection::showBoardState);
        connect(m_manager, &LeaderboardManager::myRankChanged, this, &StatsSection::showBoardState);
        connect(m_manager, &LeaderboardManager::accountChanged, this, &StatsSection::showBoardState);
    }
    refreshFigures();
    showLines();
}

QWidget* StatsSection::buildFigures()
{
    auto* box = new QGroupBox(QStringLiteral("Statistiques"), this);
    auto* grid = new QGridLayout(box);
    const QList<QPair<QString, QString>> figures{
        {QStringLiteral("totalCount"), QStringLiteral("Dictées")},
        {QStringLiteral("totalWords"), QStringLiteral("Mots dictés")},
        {QStringLiteral("thisMonthWords"), QStringLiteral("Mots ce mois-ci")},
        {QStringLiteral("totalKeystrokesSaved"), QStringLiteral("Frappes économisées")},
        {QStringLiteral("timeSavedSeconds"), QStringLiteral("Temps gagné")},
        {QStringLiteral("averageWordsPerMinute"), QStringLiteral("Vitesse moyenne")},
        {QStringLiteral("totalAIFixes"), QStringLiteral("Corrections de l'IA")},
        {QStringLiteral("thisMonthCostUSD"), QStringLiteral("Coût ce mois-ci")},
        {QStringLiteral("allTimeCostUSD"), QStringLiteral("Coût total")},
    };
    for (qsizetype i = 0; i < figures.size(); ++i) {
        auto* cell = new QVBoxLayout;
        auto* value = new QLabel(box);
        QFont big = value->font();
        big.setPointSizeF(big.pointSizeF() * 1.6);
        big.setBold(true);
        value->setFont(big);
        value->setObjectName(figures[i].first);
        auto* caption = new QLabel(figures[i].second, box);
        caption->setForegroundRole(QPalette::PlaceholderText);
        value->setAccessibleName(figures[i].second);
        cell->addWidget(value);
        cell->addWidget(caption);
        grid->addLayout(cell, int(i / 3), int(i % 3));
        m_figures.insert(figures[i].first, value);
    }
    return box;
}

QWidget* StatsSection::buildBoard()
{
    auto* box = new QGroupBox(QStringLiteral("Classement mondial"), this);
    auto* layout = new QVBoxLayout(box);

    // 0: no server configured.
    m_offNotice = new QLabel(
        QStringLiteral("Le classement compare le nombre de mots dictés par les utilisateurs qui le souhaitent. "
                       "Il est tenu par un serveur CouchDB qu'une communauté ou le projet met à disposition : "
                       "indique son adresse avec « ovra settings set ovra.mac.leaderboardURL https://serveur/base », "
                       "puis reviens ici pour t'inscrire. Rien n'est publié sans ton accord."),
        box);
    m_offNotice->setWordWrap(true);
    layout->addWidget(m_offNotice);
    m_pages << m_offNotice;

    // 1: configured, nobody signed in.
    auto* joinPage = new QWidget(box);
    auto* joinLayout = new QFormLayout(joinPage);
    auto* joinIntro = new QLabel(QStringLiteral("Inscris-toi (ou connecte-toi) pour apparaître au classement : "
                                                "ton pseudo et ton nombre de mots seront publics."),
                                 joinPage);
    joinIntro->setWordWrap(true);
    joinLayout->addRow(joinIntro);
    m_joinName = new QLineEdit(joinPage);
    m_joinName->setAccessibleName(QStringLiteral("Nom du compte"));
    m_joinPassword = new QLineEdit(joinPage);
    m_joinPassword->setEchoMode(QLineEdit::Password);
    m_joinPassword->setAccessibleName(QStringLiteral("Mot de passe"));
    joinLayout->addRow(QStringLiteral("Nom"), m_joinName);
    joinLayout->addRow(QStringLiteral("Mot de passe"), m_joinPassword);
    m_join = new QPushButton(QStringLiteral("Participer au classement"), joinPage);
    joinLayout->addRow(m_join);
    m_joinError = new QLabel(joinPage);
    m_joinError->setWordWrap(true);
    m_joinError->setTextFormat(Qt::PlainText);
    joinLayout->addRow(m_joinError);
    layout->addWidget(joinPage);
    m_pages << joinPage;
    connect(m_join, &QPushButton::clicked, this, &StatsSection::join);
    connect(m_joinPassword, &QLineEdit::returnPressed, this, &StatsSection::join);

    // 2: the board.
    auto* boardPage = new QWidget(box);
    auto* boardLayout = new QVBoxLayout(boardPage);
    boardLayout->setContentsMargins(0, 0, 0, 0);
    auto* top = new QHBoxLayout;
    m_rank = new QLabel(boardPage);
    QFont rankFont = m_rank->font();
    rankFont.setBold(true);
    m_rank->setFont(rankFont);
    top->addWidget(m_rank);
    top->addStretch();
    m_takePart = new QCheckBox(QStringLiteral("Apparaître dans le classement"), boardPage);
    top->addWidget(m_takePart);
    boardLayout->addLayout(top);
    auto* pseudoRow = new QHBoxLayout;
    pseudoRow->addWidget(new QLabel(QStringLiteral("Pseudo"), boardPage));
    m_pseudo = new QLineEdit(boardPage);
    m_pseudo->setMaxLength(int(LeaderboardEntry::kMaxPseudoLength));
    m_pseudo->setAccessibleName(QStringLiteral("Pseudo"));
    m_pseudo->setPlaceholderText(QStringLiteral("Le nom affiché à côté de tes mots"));
    pseudoRow->addWidget(m_pseudo, 1);
    boardLayout->addLayout(pseudoRow);
    m_status = new QLabel(boardPage);
    m_status->setWordWrap(true);
    m_status->setTextFormat(Qt::PlainText);
    boardLayout->addWidget(m_status);
    m_board = new QTableWidget(0, 3, boardPage);
    m_board->setAccessibleName(QStringLiteral("Classement"));
    m_board->setHorizontalHeaderLabels({QStringLiteral("Rang"), QStringLiteral("Pseudo"), QStringLiteral("Mots")});
    m_board->verticalHeader()->hide();
    m_board->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_board->setSelectionMode(QAbstractItemView::NoSelection);
    m_board->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    m_board->setMinimumHeight(420);
    boardLayout->addWidget(m_board);
    m_loadMore = new QPushButton(QStringLiteral("Charger plus"), boardPage);
    boardLayout->addWidget(m_loadMore, 0, Qt::AlignHCenter);
    layout->addWidget(boardPage);
    m_pages << boardPage;

    connect(m_loadMore, &QPushButton::clicked, this, [this] {
        if (m_manager)
            QCoro::connect(m_manager->loadMore(), this, [] {});
    });
    connect(m_pseudo, &QLineEdit::editingFinished, this, [this] {
        const QString pseudo = LeaderboardEntry::cleanPseudo(m_pseudo->text());
        if (pseudo == m_context.settings.stringValue(SharedDefaultsKey::leaderboardPseudo).value_or(QString()))
            return;
        m_context.settings.setValue(SharedDefaultsKey::leaderboardPseudo, pseudo);
        refreshBoard();
    });
    connect(m_takePart, &QCheckBox::toggled, this, &StatsSection::setTakingPart);
    return box;
}

void StatsSection::activated()
{
    refreshFigures();
    refreshBoard();
}

QString StatsSection::figureText(const QString& field) const
{
    const QLabel* l = m_figures.value(field);
    return l ? l->text() : QString();
}

void StatsSection::refreshFigures()
{
    const QDateTime now = QDateTime::currentDateTime();
    const BackupStats st = computeStats(m_context.store, now);
    m_figures[QStringLiteral("totalCount")]->setText(count(st.totalCount));
    m_figures[QStringLiteral("totalWords")]->setText(count(st.totalWords));
    m_figures[QStringLiteral("thisMonthWords")]->setText(count(st.thisMonthWords));
    m_figures[QStringLiteral("totalKeystrokesSaved")]->setText(count(st.totalKeystrokesSaved));
    m_figures[QStringLiteral("timeSavedSeconds")]->setText(duration(st.timeSavedSeconds));
    m_figures[QStringLiteral("averageWordsPerMinute")]->setText(
        kFrench.toString(st.averageWordsPerMinute, 'f', 0) + QStringLiteral(" mots/min"));
    m_figures[QStringLiteral("totalAIFixes")]->setText(count(st.totalAIFixes));
    m_figures[QStringLiteral("thisMonthCostUSD")]->setText(formatCost(st.thisMonthCostUSD));
    m_figures[QStringLiteral("allTimeCostUSD")]->setText(formatCost(st.allTimeCostUSD));
    m_chart->setValues(wordsPerDay(m_context.store, now, 30), now.date());
}

void StatsSection::refreshBoard()
{
    showBoardState();
    if (!m_manager || !m_manager->isConfigured() || !m_manager->account().userName())
        return;
    QCoro::connect(m_manager->refresh(m_context.store), this, [] {});
}

void StatsSection::join()
{
    if (!m_manager)
        return;
    m_join->setEnabled(false);
    m_joinError->clear();
    QCoro::connect(m_manager->join(m_joinName->text(), m_joinPassword->text()), this,
                   [this](const Expected<QString, LeaderboardError>& joined) {
                       m_join->setEnabled(true);
                       if (!joined) {
                           m_joinError->setText(joined.error().userMessage());
                           return;
                       }
                       m_joinPassword->clear();
                       refreshBoard();
                   });
}

void StatsSection::setTakingPart(bool on)
{
    if (!m_manager || on == !m_context.settings.boolValue(SharedDefaultsKey::leaderboardOptOut, false))
        return;
    if (on) {
        m_context.settings.setValue(SharedDefaultsKey::leaderboardOptOut, false);
        refreshBoard();
    } else {
        QCoro::connect(m_manager->leave(), this, [this](bool) { showBoardState(); });
    }
}

void StatsSection::showBoardState()
{
    if (!m_manager || !m_manager->isConfigured()) {
        showPage(0);
        return;
    }
    if (!m_manager->account().userName()) {
        showPage(1);
        return;
    }
    showPage(2);
    {
        const QSignalBlocker block(m_takePart);
        m_takePart->setChecked(!m_context.settings.boolValue(SharedDefaultsKey::leaderboardOptOut, false));
    }
    if (!m_pseudo->hasFocus())
        m_pseudo->setText(m_context.settings.stringValue(SharedDefaultsKey::leaderboardPseudo).value_or(QString()));

    const bool live = m_manager->firstPageAccepted() || !m_manager->entries().isEmpty();
    const auto cache = live ? std::nullopt : m_manager->cachedSnapshot();
    std::optional<qint64> rank = m_manager->myRank();
    bool capped = m_manager->myRankIsCapped();
    if (!live && cache) {
        rank = cache->myRank;
        capped = cache->myRankIsCapped;
    }
    m_rank->setText(rank ? QStringLiteral("Ton rang : ") + rankText(*rank, capped) : QStringLiteral("Ton rang : —"));

    QStringList status;
    if (m_manager->isLoading())
        status << QStringLiteral("Mise à jour du classement…");
    if (m_manager->errorMessage())
        status << *m_manager->errorMessage();
    if (m_manager->removalErrorMessage())
        status << *m_manager->removalErrorMessage();
    if (!live && cache)
        status << QStringLiteral("Classement enregistré le %1.")
                      .arg(cache->savedAt.toLocalTime().toString(QStringLiteral("dd/MM/yyyy à HH:mm")));
    m_status->setText(status.join(QLatin1Char('\n')));
    m_status->setVisible(!status.isEmpty());
    m_loadMore->setVisible(live && m_manager->hasMore());
    m_loadMore->setEnabled(!m_manager->isLoadingMore());
}

void StatsSection::showPage(int index)
{
    // Only the page shown takes room: the notice is short, the board is tall.
    for (int i = 0; i < m_pages.size(); ++i)
        m_pages[i]->setVisible(i == index);
}

void StatsSection::showLines()
{
    if (!m_manager) {
        showBoardState();
        return;
    }
    QList<LeaderboardEntry> lines = m_manager->entries();
    if (lines.isEmpty() && !m_manager->firstPageAccepted())
        if (const auto cache = m_manager->cachedSnapshot())
            lines = cache->lines();
    m_board->setRowCount(int(lines.size()));
    QTableWidgetItem* mine = nullptr;
    for (int row = 0; row < lines.size(); ++row) {
        const LeaderboardEntry& e = lines[row];
        // Table items are plain text: another user's pseudo never renders as markup.
        auto* place = new QTableWidgetItem(count(row + 1));
        auto* pseudo = new QTableWidgetItem(e.pseudo);
        auto* words = new QTableWidgetItem(count(e.words));
        place->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        words->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        for (QTableWidgetItem* item : {place, pseudo, words}) {
            if (e.isMe) {
                QFont f = item->font();
                f.setBold(true);
                item->setFont(f);
                item->setBackground(palette().color(QPalette::Highlight));
                item->setForeground(palette().color(QPalette::HighlightedText));
            }
        }
        if (e.isMe)
            pseudo->setText(e.pseudo + QStringLiteral(" (toi)"));
        m_board->setItem(row, 0, place);
        m_board->setItem(row, 1, pseudo);
        m_board->setItem(row, 2, words);
        if (e.isMe)
            mine = pseudo;
    }
    if (mine)
        m_board->scrollToItem(mine, QAbstractItemView::PositionAtCenter);
    m_board->resizeColumnToContents(0);
    m_board->resizeColumnToContents(2);
    showBoardState();
}
