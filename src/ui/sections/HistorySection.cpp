#include "HistorySection.h"

#include "HistoryListModel.h"
#include "dictation/MacDictationController.h"
#include "network/Pricing.h"
#include "platform/Pasteboard.h"
#include "store/RecordStore.h"
#include "transcription/TranscriptionManager.h"
#include "ui/widgets/ProposalDiffView.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QLocale>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QSplitter>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace {
QPlainTextEdit* textBox(const QString& name, QWidget* parent, bool readOnly = true)
{
    auto* box = new QPlainTextEdit(parent);
    box->setReadOnly(readOnly);
    box->setAccessibleName(name);
    box->setTabChangesFocus(true);
    box->setMinimumHeight(54);
    box->setMaximumHeight(100);
    return box;
}

QString seconds(double s) { return QLocale(QLocale::French).toString(s, 'f', 1) + QStringLiteral(" s"); }

QString providerName(const QString& raw)
{
    if (const auto p = transcriptionProviderFromRaw(raw))
        return TranscriptionManager::shortName(*p);
    return raw;
}
} // namespace

HistorySection::HistorySection(SectionContext& context, QWidget* parent)
    : Section(MacSection::history, parent)
    , m_context(context)
    , m_model(new HistoryListModel(context.store, this))
    , m_search(new QLineEdit(this))
    , m_categoryFilter(new QComboBox(this))
    , m_count(new QLabel(this))
    , m_list(new QListView(this))
{
    if (context.chat)
        m_reprocessor = std::make_unique<HistoryReprocessor>(*context.chat, context.store, context.settings);

    m_search->setPlaceholderText(QStringLiteral("Rechercher dans l'historique"));
    m_search->setAccessibleName(QStringLiteral("Rechercher dans l'historique"));
    m_search->setClearButtonEnabled(true);
    m_categoryFilter->setAccessibleName(QStringLiteral("Catégorie"));
    m_categoryFilter->addItem(QStringLiteral("Toutes les catégories"));
    for (TranscriptionCategory c : allCategories())
        m_categoryFilter->addItem(label(c), rawValue(c));
    m_list->setModel(m_model);
    m_list->setAccessibleName(QStringLiteral("Dictées"));
    m_list->setUniformItemSizes(true);
    m_list->setWordWrap(false);
    m_list->setTextElideMode(Qt::ElideRight);
    m_list->setAlternatingRowColors(true);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);

    auto* left = new QWidget(this);
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->addWidget(m_search);
    auto* filters = new QHBoxLayout;
    filters->addWidget(m_count, 1);
    filters->addWidget(m_categoryFilter);
    leftLayout->addLayout(filters);
    leftLayout->addWidget(m_list, 1);

    m_detailStack = new QStackedWidget(this);
    auto* empty = new QLabel(QStringLiteral("Choisissez une dictée pour voir ses textes."), m_detailStack);
    empty->setAlignment(Qt::AlignCenter);
    empty->setWordWrap(true);
    m_detailStack->addWidget(empty);
    m_detailScroll = new QScrollArea(m_detailStack);
    m_detailScroll->setWidgetResizable(true);
    m_detailScroll->setFrameShape(QFrame::NoFrame);
    m_detailScroll->setWidget(buildDetails());
    m_detailStack->addWidget(m_detailScroll);

    auto* splitter = new QSplitter(Qt::Horizontal, this);
    splitter->addWidget(left);
    splitter->addWidget(m_detailStack);
    splitter->setStretchFactor(0, 2);
    splitter->setStretchFactor(1, 3);
    splitter->setChildrenCollapsible(false);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(splitter);

    connect(m_search, &QLineEdit::textChanged, this, &HistorySection::setSearch);
    connect(m_categoryFilter, &QComboBox::currentIndexChanged, this, [this] {
        m_model->setCategory(categoryFromRaw(m_categoryFilter->currentData().toString()));
    });
    connect(m_list->selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& index) {
        const Transcription* t = m_model->at(index.row());
        m_selected = t ? std::optional<QUuid>(t->id) : std::nullopt;
        showDetails();
    });
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] {
        m_count->setText(QStringLiteral("%1 dictée(s)").arg(m_model->matchCount()));
        if (m_selected && current())
            select(*m_selected);
        else {
            m_selected.reset();
            showDetails();
        }
    });
    connect(&context.store, &RecordStore::changed, this, [this](const QString& table) {
        if (table == QLatin1String(RecordSchema<TranscriptionMode>::table))
            refreshModes();
    });
    m_count->setText(QStringLiteral("%1 dictée(s)").arg(m_model->matchCount()));
    refreshModes();
    showDetails();
}

HistorySection::~HistorySection() = default;

QWidget* HistorySection::buildDetails()
{
    auto* page = new QWidget(this);
    m_header = new QLabel(page);
    m_header->setWordWrap(true);
    m_header->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QFont f = m_header->font();
    f.setBold(true);
    m_header->setFont(f);
    m_timings = new QLabel(page);
    m_timings->setWordWrap(true);
    m_timings->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_star = new QPushButton(page);
    m_star->setAccessibleName(QStringLiteral("Favori"));
    auto* copy = new QPushButton(QStringLiteral("Copier"), page);
    copy->setAccessibleName(QStringLiteral("Copier le texte final"));
    auto* remove = new QPushButton(QStringLiteral("Supprimer…"), page);
    remove->setAccessibleName(QStringLiteral("Supprimer la dictée"));
    auto* actions = new QHBoxLayout;
    actions->addWidget(m_star);
    actions->addWidget(copy);
    actions->addStretch();
    actions->addWidget(remove);

    m_rawText = textBox(QStringLiteral("Texte brut"), page);
    m_replacedText = textBox(QStringLiteral("Après remplacements"), page);
    m_aiText = textBox(QStringLiteral("Texte IA"), page);
    m_finalText = textBox(QStringLiteral("Texte final, modifiable"), page, false);
    m_saveCorrection = new QPushButton(QStringLiteral("Enregistrer la correction"), page);
    m_saveCorrection->setAccessibleName(QStringLiteral("Enregistrer la correction"));
    m_saveCorrection->setEnabled(false);

    auto* texts = m_texts = new QFormLayout;
    texts->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    texts->setRowWrapPolicy(QFormLayout::WrapAllRows);
    texts->addRow(QStringLiteral("Texte brut"), m_rawText);
    texts->addRow(QStringLiteral("Après remplacements"), m_replacedText);
    texts->addRow(QStringLiteral("Texte IA"), m_aiText);
    texts->addRow(QStringLiteral("Texte final (vous pouvez le corriger)"), m_finalText);

    m_modes = new QComboBox(page);
    m_modes->setAccessibleName(QStringLiteral("Mode pour retraiter"));
    m_reprocessButton = new QPushButton(QStringLiteral("Retraiter"), page);
    m_reprocessButton->setAccessibleName(QStringLiteral("Retraiter avec ce mode"));
    m_applyButton = new QPushButton(QStringLiteral("Garder ce texte"), page);
    m_applyButton->setAccessibleName(QStringLiteral("Garder le texte retraité"));
    m_applyButton->setEnabled(false);
    m_proposalView = new ProposalDiffView(page);
    m_proposalView->setMinimumHeight(120);
    m_proposalView->hide();
    m_status = new QLabel(page);
    m_status->setWordWrap(true);
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* reprocessRow = new QHBoxLayout;
    reprocessRow->addWidget(new QLabel(QStringLiteral("Retraiter avec"), page));
    reprocessRow->addWidget(m_modes, 1);
    reprocessRow->addWidget(m_reprocessButton);
    if (!m_reprocessor) {
        m_reprocessButton->setEnabled(false);
        m_reprocessButton->setToolTip(QStringLiteral("Le service d'IA n'est pas disponible."));
    }

    auto* layout = new QVBoxLayout(page);
    layout->addWidget(m_header);
    layout->addWidget(m_timings);
    layout->addLayout(actions);
    layout->addLayout(texts);
    layout->addWidget(m_saveCorrection, 0, Qt::AlignRight);
    layout->addLayout(reprocessRow);
    layout->addWidget(m_proposalView);
    layout->addWidget(m_applyButton, 0, Qt::AlignRight);
    layout->addWidget(m_status);
    layout->addStretch();

    connect(m_star, &QPushButton::clicked, this, &HistorySection::toggleStar);
    connect(copy, &QPushButton::clicked, this, &HistorySection::copyFinalText);
    connect(remove, &QPushButton::clicked, this, [this] {
        if (!m_selected)
            return;
        const auto answer = QMessageBox::question(this, QStringLiteral("Supprimer la dictée"),
                                                  QStringLiteral("Supprimer cette dictée de l'historique ?"));
        if (answer == QMessageBox::Yes)
            deleteSelected();
    });
    connect(m_finalText, &QPlainTextEdit::textChanged, this, [this] {
        const auto t = current();
        m_saveCorrection->setEnabled(t && m_finalText->toPlainText() != HistoryReprocessor::finalText(*t));
    });
    connect(m_saveCorrection, &QPushButton::clicked, this, [this] { saveCorrection(m_finalText->toPlainText()); });
    connect(m_reprocessButton, &QPushButton::clicked, this, [this] {
        const QUuid id = m_modes->currentData().toUuid();
        if (!id.isNull())
            reprocess(id);
    });
    connect(m_applyButton, &QPushButton::clicked, this, &HistorySection::applyProposal);
    return page;
}

void HistorySection::showEvent(QShowEvent* event)
{
    m_model->setLive(true);
    Section::showEvent(event);
}

void HistorySection::hideEvent(QHideEvent* event)
{
    m_model->setLive(false);
    Section::hideEvent(event);
}

void HistorySection::activated()
{
    m_search->setFocus();
}

void HistorySection::setSearch(const QString& text)
{
    if (m_search->text() != text)
        m_search->setText(text); // comes back here through textChanged
    else
        m_model->setSearch(text);
}

void HistorySection::select(const QUuid& id)
{
    int row = m_model->rowOf(id);
    while (row < 0 && m_model->canFetchMore({})) {
        m_model->fetchMore({});
        row = m_model->rowOf(id);
    }
    if (row < 0)
        return;
    m_selected = id;
    m_list->setCurrentIndex(m_model->index(row));
    m_list->scrollTo(m_model->index(row));
    showDetails();
}

std::optional<Transcription> HistorySection::current() const
{
    if (!m_selected)
        return std::nullopt;
    return m_context.store.find<Transcription>(*m_selected);
}

void HistorySection::refreshModes()
{
    const QUuid previous = m_modes->currentData().toUuid();
    m_modes->clear();
    const auto modes = m_context.store.fetch<TranscriptionMode>({}, {{QStringLiteral("sortOrder"), true}});
    for (const TranscriptionMode& m : modes)
        m_modes->addItem(m.name, m.id);
    const int index = m_modes->findData(previous);
    if (index >= 0)
        m_modes->setCurrentIndex(index);
}

void HistorySection::showDetails()
{
    const auto t = current();
    m_detailStack->setCurrentIndex(t ? 1 : 0);
    if (!t)
        return;
    const QLocale fr(QLocale::French);
    QStringList header{fr.toString(t->createdAt.toLocalTime(), QStringLiteral("d MMMM yyyy HH:mm"))};
    if (!t->modeName.isEmpty())
        header << QStringLiteral("Mode ") + t->modeName;
    if (!t->transcriptionProvider.isEmpty())
        header << providerName(t->transcriptionProvider) + QStringLiteral(" ") + t->transcriptionModel;
    if (t->wasMadeOffline)
        header << QStringLiteral("faite hors ligne");
    m_header->setText(header.join(QStringLiteral(" · ")));

    QStringList timings{QStringLiteral("Durée ") + seconds(t->duration)};
    if (t->transcriptionSeconds)
        timings << QStringLiteral("Transcription ") + seconds(*t->transcriptionSeconds);
    if (t->aiSeconds)
        timings << QStringLiteral("IA ") + seconds(*t->aiSeconds);
    if (t->transcriptionCostUSD || t->aiCostUSD)
        timings << QStringLiteral("Coût ") + formatCost(t->transcriptionCostUSD.value_or(0) + t->aiCostUSD.value_or(0));
    if (t->aiFixCount)
        timings << QStringLiteral("%1 correction(s) de l'IA").arg(*t->aiFixCount);
    if (t->purgedAt)
        timings << QStringLiteral("textes effacés le ") + fr.toString(t->purgedAt->toLocalTime(), QStringLiteral("d MMMM yyyy"));
    m_timings->setText(timings.join(QStringLiteral(" · ")));

    m_star->setText(t->isCloudStarred ? QStringLiteral("★ Retirer des favoris") : QStringLiteral("☆ Ajouter aux favoris"));
    // A stage the dictation did not go through has no row.
    auto fill = [this](QPlainTextEdit* box, const std::optional<QString>& text) {
        box->setPlainText(text.value_or(QString()));
        m_texts->setRowVisible(box, text.has_value());
    };
    fill(m_rawText, t->rawWhisperText);
    fill(m_replacedText, t->afterReplacementsText);
    fill(m_aiText, t->aiOutputText);
    m_finalText->setPlainText(HistoryReprocessor::finalText(*t));
    m_saveCorrection->setEnabled(false);
    if (m_proposalFor != t->id) {
        m_proposal.reset();
        m_proposalFor.reset();
        m_proposalView->hide();
        m_applyButton->setEnabled(false);
        setStatus({});
    }
}

void HistorySection::setStatus(const QString& text)
{
    m_status->setText(text);
    m_status->setAccessibleName(text);
}

QString HistorySection::statusText() const { return m_status->text(); }

void HistorySection::toggleStar()
{
    auto t = current();
    if (!t)
        return;
    t->isCloudStarred = !t->isCloudStarred;
    if (auto ok = m_context.store.update(*t); !ok)
        setStatus(ok.error().message);
}

void HistorySection::saveCorrection(const QString& text)
{
    auto t = current();
    if (!t)
        return;
    if (text.trimmed().isEmpty()) {
        setStatus(QStringLiteral("Le texte corrigé ne peut pas être vide."));
        return;
    }
    // Back to the delivered text: there is no correction any more.
    t->userEditedText = text == t->text ? std::nullopt : std::optional<QString>(text);
    if (auto ok = m_context.store.update(*t); !ok)
        setStatus(ok.error().message);
    else
        setStatus(QStringLiteral("Correction enregistrée."));
}

void HistorySection::copyFinalText()
{
    if (const auto t = current()) {
        m_context.pasteboard.setText(HistoryReprocessor::finalText(*t));
        setStatus(QStringLiteral("Texte copié."));
    }
}

void HistorySection::deleteSelected()
{
    if (!m_selected)
        return;
    const QUuid id = *m_selected;
    const int row = m_model->rowOf(id);
    m_selected.reset();
    if (auto ok = m_context.store.remove<Transcription>(id); !ok) {
        m_selected = id;
        setStatus(ok.error().message);
        return;
    }
    // Keep the place in the list: the next dictation becomes the selected one.
    if (const Transcription* next = m_model->at(std::min(row, m_model->rowCount() - 1)); next && row >= 0)
        select(next->id);
}

QCoro::Task<> HistorySection::reprocess(QUuid modeID)
{
    const auto t = current();
    const auto mode = m_context.store.find<TranscriptionMode>(modeID);
    if (!t || !mode || !m_reprocessor || m_busy)
        co_return;
    m_busy = true;
    m_reprocessButton->setEnabled(false);
    m_applyButton->setEnabled(false);
    setStatus(QStringLiteral("Retraitement avec « %1 »…").arg(mode->name));
    QPointer<HistorySection> self(this);
    auto proposing = m_reprocessor->propose(*t, *mode);
    const auto result = co_await proposing;
    if (!self)
        co_return;
    m_busy = false;
    m_reprocessButton->setEnabled(true);
    if (!result) {
        setStatus(result.error());
        Q_EMIT reprocessFinished();
        co_return;
    }
    if (m_selected != t->id) { // the user moved on meanwhile
        Q_EMIT reprocessFinished();
        co_return;
    }
    m_proposal = *result;
    m_proposalFor = t->id;
    m_proposalView->setTitle(QStringLiteral("Proposition du mode « %1 »").arg(mode->name));
    m_proposalView->setTexts(HistoryReprocessor::finalText(*t), result->text);
    m_proposalView->setShowDiff(true);
    m_proposalView->show();
    m_applyButton->setEnabled(true);
    setStatus({});
    // Once the layout has made room for the proposal.
    QTimer::singleShot(0, this, [this] { m_detailScroll->ensureWidgetVisible(m_applyButton); });
    Q_EMIT reprocessFinished();
}

void HistorySection::applyProposal()
{
    const auto t = current();
    if (!t || !m_proposal || m_proposalFor != t->id)
        return;
    const Transcription updated = HistoryReprocessor::applied(*t, *m_proposal);
    if (auto ok = m_context.store.update(updated); !ok) {
        setStatus(ok.error().message);
        return;
    }
    m_proposal.reset();
    m_proposalFor.reset();
    m_proposalView->hide();
    m_applyButton->setEnabled(false);
    setStatus(QStringLiteral("Texte retraité enregistré."));
}
