#include "ModelCard.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>

namespace {

QString megabytes(qint64 bytes)
{
    // French figures: "1,5 Mo".
    return QLocale(QLocale::French).toString(double(bytes) / 1e6, 'f', bytes >= 10'000'000 ? 0 : 1) +
           QStringLiteral(" Mo");
}

const QString kDeleteText = QStringLiteral("Supprimer");

} // namespace

ModelCard::ModelCard(const QString& id, const QString& name, const QString& size, const QString& description,
                     QWidget* parent)
    : QFrame(parent), m_id(id)
{
    setObjectName(id);
    setAccessibleName(name);
    setFrameShape(QFrame::StyledPanel);

    auto* title = new QLabel(name, this);
    QFont bold = title->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.1);
    title->setFont(bold);
    auto* sizeLabel = new QLabel(size, this);
    sizeLabel->setForegroundRole(QPalette::PlaceholderText);
    auto* about = new QLabel(description, this);
    about->setWordWrap(true);
    m_state = new QLabel(this);
    m_state->setAccessibleName(QStringLiteral("État du modèle"));
    QFont stateFont = m_state->font();
    stateFont.setBold(true);
    m_state->setFont(stateFont);
    m_usage = new QLabel(this);
    m_usage->setWordWrap(true);
    m_usage->setForegroundRole(QPalette::PlaceholderText);
    m_error = new QLabel(this);
    m_error->setWordWrap(true);
    m_error->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_error->setStyleSheet(QStringLiteral("color: #c62828;"));
    m_error->setAccessibleName(QStringLiteral("Erreur du modèle"));
    m_progress = new QProgressBar(this);
    m_progress->setRange(0, 1000);
    m_progress->setTextVisible(false);
    m_progress->setMaximumHeight(8);
    m_progress->setAccessibleName(QStringLiteral("Progression du téléchargement"));

    m_download = new QPushButton(QStringLiteral("Télécharger"), this);
    m_download->setAccessibleName(QStringLiteral("Télécharger ") + name);
    m_cancel = new QPushButton(QStringLiteral("Annuler"), this);
    m_cancel->setAccessibleName(QStringLiteral("Annuler le téléchargement de ") + name);
    m_delete = new QPushButton(kDeleteText, this);
    m_delete->setAccessibleName(QStringLiteral("Supprimer ") + name);

    auto* head = new QHBoxLayout;
    head->addWidget(title);
    head->addWidget(sizeLabel);
    head->addStretch(1);
    head->addWidget(m_state);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_usage, 1);
    buttons->addWidget(m_download);
    buttons->addWidget(m_cancel);
    buttons->addWidget(m_delete);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(head);
    layout->addWidget(about);
    layout->addWidget(m_progress);
    layout->addWidget(m_error);
    layout->addLayout(buttons);

    connect(m_download, &QPushButton::clicked, this, [this] { Q_EMIT downloadRequested(m_id); });
    connect(m_cancel, &QPushButton::clicked, this, [this] { Q_EMIT cancelRequested(m_id); });
    connect(m_delete, &QPushButton::clicked, this, [this] {
        // Models are large to fetch again: the first click only asks.
        if (!m_deleteArmed) {
            m_deleteArmed = true;
            m_delete->setText(QStringLiteral("Confirmer la suppression"));
            return;
        }
        disarmDelete();
        Q_EMIT deleteRequested(m_id);
    });
    display(View{});
}

QString ModelCard::stateLabel(State state)
{
    switch (state) {
    case State::notDownloaded: return QStringLiteral("non téléchargé");
    case State::downloading: return QStringLiteral("téléchargement");
    case State::verifying: return QStringLiteral("vérification");
    case State::ready: return QStringLiteral("prêt");
    case State::loaded: return QStringLiteral("chargé");
    case State::failed: return QStringLiteral("erreur");
    case State::unavailable: return QStringLiteral("moteur indisponible sur ce système");
    }
    return {};
}

void ModelCard::disarmDelete()
{
    m_deleteArmed = false;
    m_delete->setText(kDeleteText);
}

void ModelCard::display(const View& view)
{
    if (view.state != m_view.state)
        disarmDelete();
    m_view = view;
    const bool busy = view.state == State::downloading || view.state == State::verifying;
    const bool onDisk = view.state == State::ready || view.state == State::loaded || view.state == State::failed;
    m_state->setText(stateText());
    m_progress->setVisible(busy);
    m_progress->setValue(int(view.progress * 1000));
    m_error->setText(errorText());
    m_error->setVisible(!view.error.isEmpty());
    m_usage->setText(usageText());
    m_download->setVisible(!busy && !onDisk);
    m_download->setEnabled(view.state != State::unavailable);
    m_cancel->setVisible(busy);
    m_delete->setVisible(onDisk);
}

QString ModelCard::stateText() const
{
    QString text = stateLabel(m_view.state);
    if (m_view.state == State::downloading) {
        text += QStringLiteral(" ") + QString::number(progressPercent()) + QStringLiteral(" %");
        if (m_view.total > 0)
            text += QStringLiteral(" (") + megabytes(m_view.received) + QStringLiteral(" / ") + megabytes(m_view.total) +
                    QStringLiteral(")");
    } else if ((m_view.state == State::ready || m_view.state == State::loaded) && m_view.bytesOnDisk > 0) {
        text += QStringLiteral(" — ") + megabytes(m_view.bytesOnDisk) + QStringLiteral(" sur disque");
    }
    return text;
}

QString ModelCard::errorText() const
{
    return m_view.error.isEmpty() ? QString() : QStringLiteral("Erreur : ") + m_view.error;
}

QString ModelCard::usageText() const
{
    if (m_view.usedBy.isEmpty())
        return QStringLiteral("Utilisé par aucun mode");
    return QStringLiteral("Utilisé par : ") + m_view.usedBy.join(QStringLiteral(", "));
}

int ModelCard::progressPercent() const { return int(m_view.progress * 100); }
