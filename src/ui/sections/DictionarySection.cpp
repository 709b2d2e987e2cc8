#include "DictionarySection.h"

#include "store/RecordStore.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {
QString scopesText(int bits)
{
    QStringList parts;
    if (bits & DictionaryScopes::transcription)
        parts << QStringLiteral("reconnaissance");
    if (bits & DictionaryScopes::replacement)
        parts << QStringLiteral("remplacement");
    if (bits & DictionaryScopes::transformation)
        parts << QStringLiteral("IA");
    return parts.join(QStringLiteral(", "));
}
} // namespace

DictionarySection::DictionarySection(SectionContext& context, QWidget* parent)
    : Section(MacSection::dictionary, parent), m_context(context)
{
    m_filter = new QLineEdit(this);
    m_filter->setPlaceholderText(QStringLiteral("Filtrer les termes"));
    m_filter->setAccessibleName(QStringLiteral("Filtrer les termes"));
    m_filter->setClearButtonEnabled(true);
    m_table = new QTableWidget(0, 5, this);
    m_table->setAccessibleName(QStringLiteral("Termes du dictionnaire"));
    m_table->setHorizontalHeaderLabels({QStringLiteral("Terme"), QStringLiteral("Prononciations"),
                                        QStringLiteral("Remplacé par"), QStringLiteral("Usages"),
                                        QStringLiteral("Utilisations")});
    // The term takes the room left; the short columns fit their contents.
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_table->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_table->horizontalHeader()->setStretchLastSection(false);
    m_table->verticalHeader()->hide();
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setTabKeyNavigation(false);
    m_table->setAlternatingRowColors(true);

    m_term = new QLineEdit(this);
    m_term->setAccessibleName(QStringLiteral("Terme"));
    m_pronunciations = new QLineEdit(this);
    m_pronunciations->setAccessibleName(QStringLiteral("Prononciations, séparées par des virgules"));
    m_pronunciations->setPlaceholderText(QStringLiteral("ovra, au vrai"));
    m_replacement = new QLineEdit(this);
    m_replacement->setAccessibleName(QStringLiteral("Remplacé par"));
    m_replacement->setPlaceholderText(QStringLiteral("Le terme lui-même"));
    m_hint = new QCheckBox(QStringLiteral("Indice pour la reconnaissance vocale"), this);
    m_replace = new QCheckBox(QStringLiteral("Remplacement automatique"), this);
    m_vocabulary = new QCheckBox(QStringLiteral("Vocabulaire donné à l'IA"), this);
    m_pinned = new QCheckBox(QStringLiteral("Épinglé (toujours donné en premier)"), this);
    m_note = new QLineEdit(this);
    m_note->setAccessibleName(QStringLiteral("Note"));
    m_save = new QPushButton(QStringLiteral("Enregistrer"), this);
    m_save->setAccessibleName(QStringLiteral("Enregistrer le terme"));
    m_new = new QPushButton(QStringLiteral("Nouveau terme"), this);
    m_delete = new QPushButton(QStringLiteral("Supprimer…"), this);
    m_delete->setAccessibleName(QStringLiteral("Supprimer le terme"));
    m_status = new QLabel(this);
    m_status->setWordWrap(true);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Terme"), m_term);
    form->addRow(QStringLiteral("Prononciations"), m_pronunciations);
    form->addRow(QStringLiteral("Remplacé par"), m_replacement);
    auto* scopes = new QVBoxLayout;
    scopes->addWidget(m_hint);
    scopes->addWidget(m_replace);
    scopes->addWidget(m_vocabulary);
    form->addRow(QStringLiteral("Usages"), scopes);
    form->addRow(QString(), m_pinned);
    form->addRow(QStringLiteral("Note"), m_note);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_status, 1);
    buttons->addWidget(m_new);
    buttons->addWidget(m_delete);
    buttons->addWidget(m_save);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_filter);
    layout->addWidget(m_table, 1);
    layout->addLayout(form);
    layout->addLayout(buttons);

    connect(m_filter, &QLineEdit::textChanged, this, &DictionarySection::setFilter);
    connect(m_table, &QTableWidget::currentCellChanged, this, [this](int row) {
        if (m_loading || row < 0 || row >= m_shown.size())
            return;
        m_selected = m_shown[row].id;
        loadForm();
    });
    connect(m_save, &QPushButton::clicked, this, [this] { save(); });
    connect(m_term, &QLineEdit::returnPressed, this, [this] { save(); });
    connect(m_new, &QPushButton::clicked, this, &DictionarySection::newEntry);
    connect(m_delete, &QPushButton::clicked, this, [this] {
        if (!m_selected)
            return;
        const auto answer = QMessageBox::question(this, QStringLiteral("Supprimer le terme"),
                                                  QStringLiteral("Supprimer « %1 » du dictionnaire ?").arg(m_term->text()));
        if (answer == QMessageBox::Yes)
            deleteSelected();
    });
    connect(&context.store, &RecordStore::changed, this, [this](const QString& table) {
        if (table == QLatin1String(RecordSchema<DictionaryEntry>::table))
            reload();
    });
    reload();
    loadForm();
}

QCheckBox* DictionarySection::scopeBox(int bit) const
{
    switch (bit) {
    case DictionaryScopes::transcription: return m_hint;
    case DictionaryScopes::replacement: return m_replace;
    case DictionaryScopes::transformation: return m_vocabulary;
    default: return nullptr;
    }
}

void DictionarySection::activated() { m_filter->setFocus(); }

void DictionarySection::setFilter(const QString& text)
{
    if (m_filter->text() != text)
        m_filter->setText(text);
    else
        reload();
}

void DictionarySection::reload()
{
    m_all = m_context.store.fetch<DictionaryEntry>();
    std::sort(m_all.begin(), m_all.end(), [](const DictionaryEntry& a, const DictionaryEntry& b) {
        if (a.isPinned != b.isPinned)
            return a.isPinned;
        return a.term.localeAwareCompare(b.term) < 0;
    });
    const QString filter = m_filter->text().trimmed();
    m_shown.clear();
    for (const DictionaryEntry& e : m_all)
        if (filter.isEmpty() || e.term.contains(filter, Qt::CaseInsensitive) ||
            e.pronunciationsRaw.contains(filter, Qt::CaseInsensitive) ||
            e.replacement.value_or(QString()).contains(filter, Qt::CaseInsensitive))
            m_shown << e;

    m_loading = true;
    m_table->setRowCount(int(m_shown.size()));
    int selectedRow = -1;
    for (int row = 0; row < m_shown.size(); ++row) {
        const DictionaryEntry& e = m_shown[row];
        const QStringList cells{e.term + (e.isPinned ? QStringLiteral(" — épinglé") : QString()),
                                e.pronunciations().join(QStringLiteral(", ")), e.replacement.value_or(QString()),
                                scopesText(e.scopesRaw), QString::number(e.usageCount)};
        for (int col = 0; col < cells.size(); ++col)
            m_table->setItem(row, col, new QTableWidgetItem(cells[col]));
        m_table->item(row, 4)->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        if (m_selected == e.id)
            selectedRow = row;
    }
    m_table->setCurrentCell(selectedRow, 0);
    m_loading = false;
    m_delete->setEnabled(m_selected.has_value());
}

void DictionarySection::select(const QUuid& id)
{
    for (int row = 0; row < m_shown.size(); ++row)
        if (m_shown[row].id == id)
            m_table->setCurrentCell(row, 0);
}

void DictionarySection::loadForm()
{
    DictionaryEntry e; // a new entry's defaults
    if (m_selected) {
        const auto found = m_context.store.find<DictionaryEntry>(*m_selected);
        if (found)
            e = *found;
        else
            m_selected.reset();
    }
    m_term->setText(e.term);
    m_pronunciations->setText(e.pronunciations().join(QStringLiteral(", ")));
    m_replacement->setText(e.replacement.value_or(QString()));
    m_hint->setChecked(e.scopesRaw & DictionaryScopes::transcription);
    m_replace->setChecked(e.scopesRaw & DictionaryScopes::replacement);
    m_vocabulary->setChecked(e.scopesRaw & DictionaryScopes::transformation);
    m_pinned->setChecked(e.isPinned);
    m_note->setText(e.note.value_or(QString()));
    m_delete->setEnabled(m_selected.has_value());
    m_save->setText(m_selected ? QStringLiteral("Enregistrer") : QStringLiteral("Ajouter"));
}

std::optional<QString> DictionarySection::save()
{
    const QString term = m_term->text().trimmed();
    if (term.isEmpty()) {
        const QString message = QStringLiteral("Le terme ne peut pas être vide.");
        setStatus(message);
        return message;
    }
    DictionaryEntry e;
    const bool existing = m_selected && m_context.store.find<DictionaryEntry>(*m_selected);
    if (existing)
        e = *m_context.store.find<DictionaryEntry>(*m_selected);
    e.term = term;
    e.setPronunciations(m_pronunciations->text().split(QLatin1Char(',')));
    const QString replacement = m_replacement->text().trimmed();
    e.replacement = replacement.isEmpty() ? std::nullopt : std::optional<QString>(replacement);
    e.scopesRaw = (m_hint->isChecked() ? DictionaryScopes::transcription : 0) |
                  (m_replace->isChecked() ? DictionaryScopes::replacement : 0) |
                  (m_vocabulary->isChecked() ? DictionaryScopes::transformation : 0);
    e.isPinned = m_pinned->isChecked();
    const QString note = m_note->text().trimmed();
    e.note = note.isEmpty() ? std::nullopt : std::optional<QString>(note);
    const StoreResult ok = existing ? m_context.store.update(e) : m_context.store.insert(e);
    if (!ok) {
        setStatus(ok.error().message);
        return ok.error().message;
    }
    m_selected = e.id;
    reload();
    loadForm();
    setStatus(existing ? QStringLiteral("Terme enregistré.") : QStringLiteral("Terme ajouté."));
    return std::nullopt;
}

void DictionarySection::newEntry()
{
    m_selected.reset();
    m_table->setCurrentCell(-1, 0);
    loadForm();
    setStatus({});
    m_term->setFocus();
}

void DictionarySection::deleteSelected()
{
    if (!m_selected)
        return;
    if (auto ok = m_context.store.remove<DictionaryEntry>(*m_selected); !ok) {
        setStatus(ok.error().message);
        return;
    }
    m_selected.reset();
    reload();
    loadForm();
    setStatus(QStringLiteral("Terme supprimé."));
}

void DictionarySection::setStatus(const QString& text)
{
    m_status->setText(text);
    m_status->setAccessibleName(text);
}

QString DictionarySection::statusText() const { return m_status->text(); }
