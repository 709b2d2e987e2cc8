#pragma once
// A rewrite proposal shown either as its final text ("Texte final") or as its word changes
// against the text it replaces ("Modifications"). The diff is made once, off the main thread,
// the first time the changes are asked for.
#include "ai/ProposalDiff.h"

#include <QCoroTask>
#include <QWidget>
#include <optional>

class QLabel;
class QPushButton;
class QTextBrowser;
class QTextDocument;

class ProposalDiffView : public QWidget
{
    Q_OBJECT
public:
    explicit ProposalDiffView(QWidget* parent = nullptr);

    void setTitle(const QString& title);
    QString title() const;
    // A new pair forgets the diff made for the previous one.
    void setTexts(const QString& baseline, const QString& proposal);
    QString proposal() const { return m_proposal; }
    QString baseline() const { return m_baseline; }

    bool showDiff() const { return m_showDiff; }
    void setShowDiff(bool on);

    bool diffReady() const { return m_pieces.has_value() || m_diffUnavailable; }
    bool diffUnavailable() const { return m_diffUnavailable; }
    // What the text area shows now, as plain text.
    QString displayedText() const;

    // Writes pieces into document: removed words struck through in red, inserted ones green.
    static void render(const QList<ProposalDiff::Piece>& pieces, QTextDocument& document, const QPalette& palette);

Q_SIGNALS:
    void diffComputed();

private:
    QCoro::Task<> computeDiff(quint64 generation);
    void refresh();

    QLabel* m_title;
    QPushButton* m_finalButton;
    QPushButton* m_diffButton;
    QTextBrowser* m_text;
    QString m_baseline;
    QString m_proposal;
    bool m_showDiff = false;
    bool m_computing = false;
    bool m_diffUnavailable = false;
    std::optional<QList<ProposalDiff::Piece>> m_pieces;
    quint64 m_generation = 0;
};
