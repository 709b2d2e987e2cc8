#include "PromptsSection.h"

#include "ai/PinnedPresets.h"
#include "store/RecordStore.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QVBoxLayout>

PromptsSection::PromptsSection(SectionContext& context, QWidget* parent)
    : Section(MacSection::prompts, parent), m_context(context)
{
    m_list = new QListWidget(this);
    m_list->setAccessibleName(QStringLiteral("Prompts"));
    m_trashToggle = new QCheckBox(QStringLiteral("Afficher la corbeille"), this);
    m_new = new QPushButton(QStringLiteral("Nouveau prompt"), this);
    auto* left = new QWidget(this);
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->addWidget(m_list, 1);
    leftLayout->addWidget(m_trashToggle);
    leftLayout->addWidget(m_new);

    m_name = new QLineEdit(this);
    m_name->setAccessibleName(QStringLiteral("Nom du prompt"));
    m_prompt = new QPlainTextEdit(this);
    m_prompt->setAccessibleName(QStringLiteral("Texte du prompt"));
    m_prompt->setTabChangesFocus(true);
    m_prompt->setPlaceholderText(QStringLiteral("Consignes données à l'IA, par exemple : « Corrige les fautes sans changer le style. »"));
    m_pinned = new QCheckBox(QStringLiteral("Épinglé (proposé en premier et au clavier du téléphone)"), this);
    m_save = new QPushButton(QStringLiteral("Enregistrer"), this);
    m_save->setAccessibleName(QStringLiteral("Enregistrer le prompt"));
    m_trash = new QPushButton(QStringLiteral("Mettre à la corbeille"), this);
    m_restore = new QPushButton(QStringLiteral("Restaurer"), this);
    m_restore->setAccessibleName(QStringLiteral("Restaurer de la corbeille"));
    m_delete = new QPushButton(QStringLiteral("Supprimer définitivement…"), this);
    m_versionList = new QListWidget(this);
    m_versionList->setAccessibleName(QStringLiteral("Versions du prompt"));
    m_versionList->setMaximumHeight(120);
    m_takeVersion = new QPushButton(QStringLiteral("Reprendre cette version"), this);
    m_status = new QLabel(this);
    m_status->setWordWrap(true);

    auto* right = new QWidget(this);
    auto* form = new QFormLayout;
    form->setRowWrapPolicy(QFormLayout::WrapLongRows);
    form->addRow(QStringLiteral("Nom"), m_name);
    form->addRow(QStringLiteral("Prompt"), m_prompt);
    form->addRow(QString(), m_pinned);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_trash);
    buttons->addWidget(m_restore);
    buttons->addWidget(m_delete);
    buttons->addStretch();
    buttons->addWidget(m_save);
    auto* versionRow = new QHBoxLayout;
    versionRow->addStretch();
    versionRow->addWidget(m_takeVersion);
    auto* rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    rightLayout->addLayout(form, 1);
    rightLayout->addLayout(buttons);
    rightLayout->addWidget(new QLabel(QStringLiteral("Versions"), right));
    rightLayout->addWidget(m_versionList);
    rightLayout->addLayout(versionRow);
    rightLayout->addWidget(m_status);

    auto* splitter = new QSplitter(Qt::Horizontal, this);
    splitter->addWidget(left);
    splitter->addWidget(right);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 2);
    splitter->setChildrenCollapsible(false);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(splitter);

    connect(m_list, &QListWidget::currentRowChanged, this, [this](int row) {
        if (m_loading || row < 0 || row >= m_shown.size())
            return;
        m_selected = m_shown[row].id;
        loadForm();
    });
    connect(m_name, &QLineEdit::textEdited, this, [this] { m_dirty = true; });
    connect(m_prompt, &QPlainTextEdit::textChanged, this, [this] {
        if (!m_loading)
            m_dirty = true;
    });
    connect(m_trashToggle, &QCheckBox::toggled, this, &PromptsSection::setShowTrash);
    connect(m_new, &QPushButton::clicked, this, [this] { newPrompt(); });
    connect(m_save, &QPushButton::clicked, this, [this] { save(); });
    connect(m_pinned, &QCheckBox::toggled, this, [this](bool on) {
        if (!m_loading)
            setPinned(on);
    });
    connect(m_trash, &QPushButton::clicked, this, &PromptsSection::moveToTrash);
    connect(m_restore, &QPushButton::clicked, this, &PromptsSection::restoreFromTrash);
    connect(m_delete, &QPushButton::clicked, this, [this] {
        if (!m_selected)
            return;
        const auto answer = QMessageBox::question(
            this, QStringLiteral("Supprimer le prompt"),
            QStringLiteral("Supprimer définitivement « %1 » et ses versions ?").arg(m_name->text()));
        if (answer == QMessageBox::Yes)
            deleteForever();
    });
    connect(m_takeVersion, &QPushButton::clicked, this, [this] { takeVersion(m_versionList->currentRow()); });
    connect(&context.store, &RecordStore::changed, this, [this](const QString& table) {
        if (table == QLatin1String(RecordSchema<PromptPreset>::table) ||
            table == QLatin1String(RecordSchema<PromptVersion>::table))
            reload();
    });
    reload();
}

void PromptsSection::activated() { m_list->setFocus(); }

void PromptsSection::setShowTrash(bool on)
{
    if (m_trashToggle->isChecked() != on)
        m_trashToggle->setChecked(on); // comes back here
    m_showTrash = on;
    m_selected.reset();
    reload();
}

void PromptsSection::reload()
{
    const bool trash = m_showTrash;
    m_shown = m_context.store.fetch<PromptPreset>([trash](const PromptPreset& p) { return p.isTrashed == trash; },
                                                  {{QStringLiteral("sortOrder"), true}, {QStringLiteral("createdAt"), true}});
    std::stable_sort(m_shown.begin(), m_shown.end(),
                     [](const PromptPreset& a, const PromptPreset& b) { return a.isPinned && !b.isPinned; });
    m_loading = true;
    m_list->clear();
    int selectedRow = -1;
    for (int i = 0; i < m_shown.size(); ++i) {
        const PromptPreset& p = m_shown[i];
        m_list->addItem((p.name.isEmpty() ? QStringLiteral("(sans nom)") : p.name) +
                        (p.isPinned ? QStringLiteral(" — épinglé") : QString()));
        if (m_selected == p.id)
            selectedRow = i;
    }
    if (selectedRow < 0 && !m_shown.isEmpty()) {
        selectedRow = 0;
        m_selected = m_shown[0].id;
    }
    if (selectedRow < 0)
        m_selected.reset();
    m_list->setCurrentRow(selectedRow);
    m_loading = false;
    m_new->setEnabled(!m_showTrash);
    // An edit in progress of the same prompt is kept; the form follows the store otherwise.
    if (!m_dirty || !m_selected || m_selected != m_formID)
        loadForm();
}

void PromptsSection::select(const QUuid& id)
{
    for (int i = 0; i < m_shown.size(); ++i)
        if (m_shown[i].id == id)
            m_list->setCurrentRow(i);
}

void PromptsSection::loadForm()
{
    std::optional<PromptPreset> p;
    if (m_selected)
        p = m_context.store.find<PromptPreset>(*m_selected);
    m_loading = true;
    m_name->setText(p ? p->name : QString());
    m_prompt->setPlainText(p ? p->prompt : QString());
    m_pinned->setChecked(p && p->isPinned);
    m_loading = false;
    m_dirty = false;
    m_formID = p ? std::optional<QUuid>(p->id) : std::nullopt;
    const bool inUse = p && !p->isTrashed;
    for (QWidget* w : std::initializer_list<QWidget*>{m_name, m_prompt, m_pinned, m_save, m_trash})
        w->setEnabled(inUse);
    m_restore->setVisible(p && p->isTrashed);
    m_delete->setVisible(p && p->isTrashed);
    m_trash->setVisible(!p || !p->isTrashed);

    m_versions.clear();
    if (p) {
        const QUuid id = p->id;
        // Oldest first then reversed: versions saved within the same instant keep their order.
        m_versions = m_context.store.fetch<PromptVersion>([id](const PromptVersion& v) { return v.presetID == id; },
                                                          {{QStringLiteral("createdAt"), true}});
        std::reverse(m_versions.begin(), m_versions.end());
    }
    m_versionList->clear();
    const QLocale fr(QLocale::French);
    for (const PromptVersion& v : m_versions)
        m_versionList->addItem(fr.toString(v.createdAt.toLocalTime(), QStringLiteral("d MMM yyyy HH:mm")) +
                               QStringLiteral(" — ") + v.prompt.left(80).simplified());
    m_takeVersion->setEnabled(inUse && !m_versions.isEmpty());
}

QUuid PromptsSection::newPrompt()
{
    PromptPreset p;
    p.name = QStringLiteral("Nouveau prompt");
    int last = -1;
    for (const PromptPreset& other : m_context.store.fetch<PromptPreset>())
        last = std::max(last, other.sortOrder);
    p.sortOrder = last + 1;
    if (auto ok = m_context.store.insert(p); !ok) {
        setStatus(ok.error().message);
        return {};
    }
    m_selected = p.id;
    reload();
    m_name->setFocus();
    m_name->selectAll();
    return p.id;
}

std::optional<QString> PromptsSection::save()
{
    if (!m_selected)
        return std::nullopt;
    auto p = m_context.store.find<PromptPreset>(*m_selected);
    if (!p)
        return std::nullopt;
    const QString name = m_name->text().trimmed();
    if (name.isEmpty()) {
        const QString message = QStringLiteral("Le nom du prompt ne peut pas être vide.");
        setStatus(message);
        return message;
    }
    const bool changed = p->name != name || p->prompt != m_prompt->toPlainText();
    p->name = name;
    p->prompt = m_prompt->toPlainText();
    const auto ok = m_context.store.save([&]() -> StoreResult {
        if (auto r = m_context.store.update(*p); !r)
            return r;
        if (!changed)
            return {};
        PromptVersion v;
        v.presetID = p->id;
        v.name = p->name;
        v.prompt = p->prompt;
        return m_context.store.insert(v);
    });
    if (!ok) {
        setStatus(ok.error().message);
        return ok.error().message;
    }
    m_dirty = false;
    loadForm();
    publish();
    setStatus(QStringLiteral("Prompt enregistré."));
    return std::nullopt;
}

void PromptsSection::setPinned(bool on)
{
    auto p = m_selected ? m_context.store.find<PromptPreset>(*m_selected) : std::nullopt;
    if (!p || p->isPinned == on)
        return;
    p->isPinned = on;
    if (auto ok = m_context.store.update(*p); !ok) {
        setStatus(ok.error().message);
        return;
    }
    publish();
}

void PromptsSection::moveToTrash()
{
    auto p = m_selected ? m_context.store.find<PromptPreset>(*m_selected) : std::nullopt;
    if (!p)
        return;
    p->isTrashed = true;
    p->trashedAt = QDateTime::currentDateTimeUtc();
    if (auto ok = m_context.store.update(*p); !ok) {
        setStatus(ok.error().message);
        return;
    }
    publish();
    setStatus(QStringLiteral("« %1 » est dans la corbeille ; il y reste 30 jours.").arg(p->name));
}

void PromptsSection::restoreFromTrash()
{
    auto p = m_selected ? m_context.store.find<PromptPreset>(*m_selected) : std::nullopt;
    if (!p)
        return;
    p->isTrashed = false;
    p->trashedAt.reset();
    if (auto ok = m_context.store.update(*p); !ok) {
        setStatus(ok.error().message);
        return;
    }
    publish();
    setStatus(QStringLiteral("« %1 » est restauré.").arg(p->name));
}

void PromptsSection::deleteForever()
{
    if (!m_selected)
        return;
    const QUuid id = *m_selected;
    const auto versions = m_context.store.fetch<PromptVersion>([id](const PromptVersion& v) { return v.presetID == id; });
    const auto ok = m_context.store.save([&]() -> StoreResult {
        for (const PromptVersion& v : versions)
            if (auto r = m_context.store.remove<PromptVersion>(v.id); !r)
                return r;
        return m_context.store.remove<PromptPreset>(id);
    });
    if (!ok) {
        setStatus(ok.error().message);
        return;
    }
    m_selected.reset();
    reload();
    publish();
    setStatus(QStringLiteral("Prompt supprimé."));
}

void PromptsSection::takeVersion(int index)
{
    if (index < 0 || index >= m_versions.size())
        return;
    m_name->setText(m_versions[index].name);
    m_prompt->setPlainText(m_versions[index].prompt);
    m_dirty = true;
    setStatus(QStringLiteral("Version reprise : enregistrez pour la garder."));
}

void PromptsSection::publish() { PinnedPresets::publish(m_context.store, m_context.settings); }

void PromptsSection::setStatus(const QString& text)
{
    m_status->setText(text);
    m_status->setAccessibleName(text);
}

QString PromptsSection::statusText() const { return m_status->text(); }
