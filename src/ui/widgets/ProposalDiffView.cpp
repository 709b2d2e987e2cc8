#include "ProposalDiffView.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTextBrowser>
#include <QTextCursor>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>
#include <qcorofuture.h>

ProposalDiffView::ProposalDiffView(QWidget* parent)
    : QWidget(parent)
    , m_title(new QLabel(this))
    , m_finalButton(new QPushButton(QStringLiteral("Texte final"), this))
    , m_diffButton(new QPushButton(QStringLiteral("Modifications"), this))
    , m_text(new QTextBrowser(this))
{
    setAccessibleName(QStringLiteral("Proposition"));
    QFont f = m_title->font();
    f.setBold(true);
    m_title->setFont(f);
    m_title->setTextFormat(Qt::PlainText);

    auto* group = new QButtonGroup(this);
    for (QPushButton* b : {m_finalButton, m_diffButton}) {
        b->setCheckable(true);
        b->setAccessibleName(b->text());
        group->addButton(b);
    }
    m_finalButton->setChecked(true);
    m_finalButton->setAccessibleDescription(QStringLiteral("Affiche le texte proposé"));
    m_diffButton->setAccessibleDescription(QStringLiteral("Affiche les mots retirés et ajoutés"));
    m_text->setAccessibleName(QStringLiteral("Texte de la proposition"));
    m_text->setOpenLinks(false);

    auto* top = new QHBoxLayout;
    top->addWidget(m_title, 1);
    top->addWidget(m_finalButton);
    top->addWidget(m_diffButton);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(top);
    layout->addWidget(m_text, 1);

    connect(m_finalButton, &QPushButton::toggled, this, [this](bool on) {
        if (on)
            setShowDiff(false);
    });
    connect(m_diffButton, &QPushButton::toggled, this, [this](bool on) {
        if (on)
            setShowDiff(true);
    });
    refresh();
}

void ProposalDiffView::setTitle(const QString& title)
{
    m_title->setText(title);
    m_title->setVisible(!title.isEmpty());
}

QString ProposalDiffView::title() const { return m_title->text(); }

void ProposalDiffView::setTexts(const QString& baseline, const QString& proposal)
{
    m_baseline = baseline;
    m_proposal = proposal;
    m_pieces.reset();
    m_diffUnavailable = false;
    m_computing = false;
    ++m_generation;
    if (m_showDiff)
        computeDiff(m_generation);
    refresh();
}

void ProposalDiffView::setShowDiff(bool on)
{
    if (m_showDiff != on) {
        m_showDiff = on;
        (on ? m_diffButton : m_finalButton)->setChecked(true);
    }
    if (on && !diffReady() && !m_computing)
        computeDiff(m_generation);
    refresh();
}

QCoro::Task<> ProposalDiffView::computeDiff(quint64 generation)
{
    m_computing = true;
    QPointer<ProposalDiffView> self(this);
    const QString baseline = m_baseline;
    const QString proposal = m_proposal;
    // Awaiting a named future: GCC 12 mishandles temporaries inside a co_await expression.
    auto future = QtConcurrent::run([baseline, proposal] { return ProposalDiff::compute(baseline, proposal); });
    auto result = co_await future;
    // The view may be gone, or hold other texts by now.
    if (!self || generation != m_generation)
        co_return;
    m_computing = false;
    m_pieces = std::move(result);
    m_diffUnavailable = !m_pieces.has_value();
    refresh();
    Q_EMIT diffComputed();
}

void ProposalDiffView::refresh()
{
    if (!m_showDiff) {
        m_text->setPlainText(m_proposal);
        return;
    }
    if (m_diffUnavailable) {
        m_text->setPlainText(ProposalDiff::unavailableMessage());
        return;
    }
    if (!m_pieces) {
        m_text->setPlainText(QStringLiteral("Calcul des modifications…"));
        return;
    }
    render(*m_pieces, *m_text->document(), palette());
}

QString ProposalDiffView::displayedText() const { return m_text->toPlainText(); }

void ProposalDiffView::render(const QList<ProposalDiff::Piece>& pieces, QTextDocument& document, const QPalette& palette)
{
    document.clear();
    QTextCursor cursor(&document);
    // Tones that read on the window's background, light or dark.
    const bool dark = palette.color(QPalette::Base).lightness() < 128;
    const QColor red = dark ? QColor(0xff, 0x7b, 0x72) : QColor(0xc6, 0x28, 0x28);
    const QColor green = dark ? QColor(0x7e, 0xe7, 0x87) : QColor(0x1b, 0x7f, 0x37);
    QTextCharFormat plain;
    QTextCharFormat removed;
    removed.setForeground(red);
    removed.setFontStrikeOut(true);
    QTextCharFormat inserted;
    inserted.setForeground(green);
    bool lineStart = true;
    for (const ProposalDiff::Piece& p : pieces) {
        if (p.isLineBreak()) {
            cursor.insertBlock();
            lineStart = true;
            continue;
        }
        if (!lineStart)
            cursor.insertText(QStringLiteral(" "), plain);
        const QTextCharFormat& format = p.kind == ProposalDiff::PieceKind::removed    ? removed
                                        : p.kind == ProposalDiff::PieceKind::inserted ? inserted
                                                                                      : plain;
        cursor.insertText(p.text, format);
        lineStart = false;
    }
}
