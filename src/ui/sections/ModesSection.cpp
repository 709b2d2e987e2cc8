#include "ModesSection.h"

#include "ai/AIModelCatalog.h"
#include "dictation/MacAppModeTriggers.h"
#include "dictation/ShortcutBindings.h"
#include "dictation/TranscriptionModelChoice.h"
#include "store/RecordStore.h"
#include "transcription/TranscriptionManager.h"
#include "ui/widgets/ShortcutRecorder.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QSplitter>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace {
QComboBox* combo(const QString& name, QWidget* parent)
{
    auto* box = new QComboBox(parent);
    box->setAccessibleName(name);
    return box;
}

// Selects the item holding value; a value the list does not offer is added so that saving
// never changes a field the user did not touch.
void choose(QComboBox* box, const QString& value, const QString& label = {})
{
    int index = box->findData(value);
    if (index < 0) {
        box->addItem(label.isEmpty() ? value : label, value);
        index = box->count() - 1;
    }
    box->setCurrentIndex(index);
}

QString chosen(const QComboBox* box) { return box->currentData().toString(); }

QStringList lines(const QPlainTextEdit* edit)
{
    QStringList out;
    for (const QString& line : edit->toPlainText().split(QLatin1Char('\n'))) {
        const QString t = line.trimmed();
        if (!t.isEmpty() && !out.contains(t))
            out << t;
    }
    return out;
}

const QList<QPair<QString, QString>>& languages()
{
    static const QList<QPair<QString, QString>> l{
        {QStringLiteral("auto"), QStringLiteral("Détection automatique")},
        {QStringLiteral("fr"), QStringLiteral("Français")},
        {QStringLiteral("en"), QStringLiteral("Anglais")},
        {QStringLiteral("de"), QStringLiteral("Allemand")},
        {QStringLiteral("es"), QStringLiteral("Espagnol")},
        {QStringLiteral("it"), QStringLiteral("Italien")},
        {QStringLiteral("pt"), QStringLiteral("Portugais")},
        {QStringLiteral("nl"), QStringLiteral("Néerlandais")},
        {QStringLiteral("ar"), QStringLiteral("Arabe")},
        {QStringLiteral("zh"), QStringLiteral("Chinois")},
        {QStringLiteral("ja"), QStringLiteral("Japonais")},
    };
    return l;
}

const QStringList& colorKeys()
{
    static const QStringList k{QStringLiteral("default"), QStringLiteral("red"),    QStringLiteral("orange"),
                               QStringLiteral("yellow"),  QStringLiteral("green"),  QStringLiteral("teal"),
                               QStringLiteral("blue"),    QStringLiteral("indigo"), QStringLiteral("purple"),
                               QStringLiteral("pink"),    QStringLiteral("gray")};
    return k;
}

QString colorLabel(const QString& key)
{
    static const QHash<QString, QString> labels{
        {QStringLiteral("default"), QStringLiteral("Par défaut")}, {QStringLiteral("red"), QStringLiteral("Rouge")},
        {QStringLiteral("orange"), QStringLiteral("Orange")},      {QStringLiteral("yellow"), QStringLiteral("Jaune")},
        {QStringLiteral("green"), QStringLiteral("Vert")},         {QStringLiteral("teal"), QStringLiteral("Sarcelle")},
        {QStringLiteral("blue"), QStringLiteral("Bleu")},          {QStringLiteral("indigo"), QStringLiteral("Indigo")},
        {QStringLiteral("purple"), QStringLiteral("Violet")},      {QStringLiteral("pink"), QStringLiteral("Rose")},
        {QStringLiteral("gray"), QStringLiteral("Gris")}};
    return labels.value(key, key);
}
} // namespace

ModesSection::ModesSection(SectionContext& context, QWidget* parent)
    : Section(MacSection::modes, parent), m_context(context)
{
    m_list = new QListWidget(this);
    m_list->setAccessibleName(QStringLiteral("Modes"));
    m_add = new QPushButton(QStringLiteral("Ajouter"), this);
    m_add->setAccessibleName(QStringLiteral("Ajouter un mode"));
    m_remove = new QPushButton(QStringLiteral("Supprimer…"), this);
    m_remove->setAccessibleName(QStringLiteral("Supprimer le mode"));
    m_up = new QPushButton(QStringLiteral("Monter"), this);
    m_up->setAccessibleName(QStringLiteral("Monter le mode"));
    m_down = new QPushButton(QStringLiteral("Descendre"), this);
    m_down->setAccessibleName(QStringLiteral("Descendre le mode"));
    auto* listButtons = new QGridLayout;
    listButtons->addWidget(m_add, 0, 0);
    listButtons->addWidget(m_remove, 0, 1);
    listButtons->addWidget(m_up, 1, 0);
    listButtons->addWidget(m_down, 1, 1);
    auto* left = new QWidget(this);
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->addWidget(m_list, 1);
    leftLayout->addLayout(listButtons);

    m_stack = new QStackedWidget(this);
    auto* empty = new QLabel(QStringLiteral("Aucun mode. Ajoutez-en un."), m_stack);
    empty->setAlignment(Qt::AlignCenter);
    m_stack->addWidget(empty);
    auto* scroll = new QScrollArea(m_stack);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidget(buildForm());
    m_stack->addWidget(scroll);

    auto* splitter = new QSplitter(Qt::Horizontal, this);
    splitter->addWidget(left);
    splitter->addWidget(m_stack);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 3);
    splitter->setChildrenCollapsible(false);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(splitter);

    connect(m_list, &QListWidget::currentRowChanged, this, [this](int row) {
        if (m_loading || row < 0 || row >= m_modes.size())
            return;
        if (m_selected == m_modes[row].id)
            return;
        m_selected = m_modes[row].id;
        loadForm();
    });
    connect(m_add, &QPushButton::clicked, this, [this] { addMode(); });
    connect(m_remove, &QPushButton::clicked, this, [this] {
        if (!m_selected)
            return;
        const auto answer = QMessageBox::question(
            this, QStringLiteral("Supprimer le mode"),
            QStringLiteral("Supprimer le mode « %1 » ? Ses raccourci et règles sont retirés aussi.").arg(m_name->text()));
        if (answer == QMessageBox::Yes)
            deleteSelected();
    });
    connect(m_up, &QPushButton::clicked, this, [this] { moveSelected(-1); });
    connect(m_down, &QPushButton::clicked, this, [this] { moveSelected(1); });
    connect(&context.store, &RecordStore::changed, this, [this](const QString& table) {
        if (table == QLatin1String(RecordSchema<TranscriptionMode>::table))
            reload();
        else if (table == QLatin1String(RecordSchema<PromptPreset>::table))
            refreshPresets();
    });
    reload();
}

QWidget* ModesSection::buildForm()
{
    auto* page = new QWidget(this);
    m_name = new QLineEdit(page);
    m_name->setAccessibleName(QStringLiteral("Nom du mode"));
    m_icon = new QLineEdit(page);
    m_icon->setAccessibleName(QStringLiteral("Icône"));
    m_iconColor = combo(QStringLiteral("Couleur de l'icône"), page);
    m_iconBackground = combo(QStringLiteral("Fond de l'icône"), page);
    for (const QString& key : colorKeys()) {
        m_iconColor->addItem(colorLabel(key), key);
        m_iconBackground->addItem(colorLabel(key), key);
    }
    m_provider = combo(QStringLiteral("Fournisseur de transcription"), page);
    for (TranscriptionProvider p : allTranscriptionProviders())
        m_provider->addItem(TranscriptionManager::shortName(p), rawValue(p));
    m_model = combo(QStringLiteral("Modèle de transcription"), page);
    m_language = combo(QStringLiteral("Langue parlée"), page);
    for (const auto& [code, name] : languages())
        m_language->addItem(name, code);
    m_trim = new QCheckBox(QStringLiteral("Retirer les silences avant l'envoi"), page);
    m_live = new QCheckBox(QStringLiteral("Afficher le texte pendant l'enregistrement"), page);
    m_chunk = new QSpinBox(page);
    m_chunk->setAccessibleName(QStringLiteral("Taille des blocs Nemotron en millisecondes"));
    m_chunk->setRange(0, 10000);
    m_chunk->setSingleStep(80);
    m_chunk->setSpecialValueText(QStringLiteral("Réglage global"));
    m_chunk->setSuffix(QStringLiteral(" ms"));

    m_ai = new QCheckBox(QStringLiteral("Améliorer le texte avec l'IA"), page);
    m_aiProvider = combo(QStringLiteral("Fournisseur d'IA"), page);
    m_overrideProvider = combo(QStringLiteral("Fournisseur d'IA propre au mode"), page);
    for (AIProvider p : allAIProviders()) {
        m_aiProvider->addItem(AIModelCatalog::providerDisplayName(p), rawValue(p));
        m_overrideProvider->addItem(AIModelCatalog::providerDisplayName(p), rawValue(p));
    }
    m_aiModel = combo(QStringLiteral("Modèle d'IA"), page);
    m_override = new QCheckBox(QStringLiteral("Ne pas suivre le choix global d'IA"), page);
    m_overrideModel = combo(QStringLiteral("Modèle d'IA propre au mode"), page);
    m_preset = combo(QStringLiteral("Prompt enregistré"), page);
    m_prompt = new QPlainTextEdit(page);
    m_prompt->setAccessibleName(QStringLiteral("Prompt du mode"));
    m_prompt->setTabChangesFocus(true);
    m_prompt->setPlaceholderText(QStringLiteral("Consignes données à l'IA pour réécrire la dictée"));
    m_prompt->setMinimumHeight(90);

    m_shortcut = new ShortcutRecorder(page);
    m_apps = new QPlainTextEdit(page);
    m_apps->setAccessibleName(QStringLiteral("Applications qui activent ce mode, une par ligne"));
    m_apps->setTabChangesFocus(true);
    m_apps->setPlaceholderText(QStringLiteral("org.gnome.Terminal\nfirefox"));
    m_apps->setMaximumHeight(80);
    m_urls = new QPlainTextEdit(page);
    m_urls->setAccessibleName(QStringLiteral("Adresses qui activent ce mode, une par ligne"));
    m_urls->setTabChangesFocus(true);
    m_urls->setPlaceholderText(QStringLiteral("mail.example.com"));
    m_urls->setMaximumHeight(80);
    m_applyRules = new QPushButton(QStringLiteral("Appliquer les règles"), page);
    m_applyRules->setAccessibleName(QStringLiteral("Appliquer les règles d'applications et d'adresses"));
    m_autoSend = new QCheckBox(QStringLiteral("Appuyer sur Entrée après avoir collé le texte"), page);

    m_save = new QPushButton(QStringLiteral("Enregistrer"), page);
    m_save->setAccessibleName(QStringLiteral("Enregistrer le mode"));
    m_save->setDefault(true);
    m_revert = new QPushButton(QStringLiteral("Annuler les modifications"), page);
    m_status = new QLabel(page);
    m_status->setWordWrap(true);

    auto* general = new QGroupBox(QStringLiteral("Mode"), page);
    auto* g = new QFormLayout(general);
    g->addRow(QStringLiteral("Nom"), m_name);
    g->addRow(QStringLiteral("Icône"), m_icon);
    g->addRow(QStringLiteral("Couleur"), m_iconColor);
    g->addRow(QStringLiteral("Fond"), m_iconBackground);
    g->addRow(QStringLiteral("Raccourci"), m_shortcut);

    auto* speech = new QGroupBox(QStringLiteral("Transcription"), page);
    auto* s = new QFormLayout(speech);
    s->addRow(QStringLiteral("Fournisseur"), m_provider);
    s->addRow(QStringLiteral("Modèle"), m_model);
    s->addRow(QStringLiteral("Langue"), m_language);
    s->addRow(QStringLiteral("Blocs Nemotron"), m_chunk);
    s->addRow(m_trim);
    s->addRow(m_live);

    auto* ai = new QGroupBox(QStringLiteral("Intelligence artificielle"), page);
    auto* a = new QFormLayout(ai);
    a->addRow(m_ai);
    a->addRow(QStringLiteral("Fournisseur"), m_aiProvider);
    a->addRow(QStringLiteral("Modèle"), m_aiModel);
    a->addRow(m_override);
    a->addRow(QStringLiteral("Fournisseur du mode"), m_overrideProvider);
    a->addRow(QStringLiteral("Modèle du mode"), m_overrideModel);
    a->addRow(QStringLiteral("Prompt enregistré"), m_preset);
    a->addRow(QStringLiteral("Prompt"), m_prompt);

    auto* rules = new QGroupBox(QStringLiteral("Activation par application"), page);
    auto* r = new QFormLayout(rules);
    r->setRowWrapPolicy(QFormLayout::WrapLongRows);
    if (m_context.appModes) {
        r->addRow(QStringLiteral("Applications"), m_apps);
        r->addRow(QStringLiteral("Adresses"), m_urls);
        r->addRow(m_applyRules);
        r->addRow(m_autoSend);
    } else {
        r->addRow(new QLabel(QStringLiteral("Les règles par application ne sont pas disponibles."), rules));
        for (QWidget* w : std::initializer_list<QWidget*>{m_apps, m_urls, m_applyRules, m_autoSend})
            w->hide();
    }

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_status, 1);
    buttons->addWidget(m_revert);
    buttons->addWidget(m_save);

    auto* layout = new QVBoxLayout(page);
    layout->addWidget(general);
    layout->addWidget(speech);
    layout->addWidget(ai);
    layout->addWidget(rules);
    layout->addLayout(buttons);
    layout->addStretch();

    for (QLineEdit* e : {m_name, m_icon})
        connect(e, &QLineEdit::textEdited, this, &ModesSection::markDirty);
    for (QComboBox* b : {m_iconColor, m_iconBackground, m_model, m_language, m_aiModel, m_overrideModel})
        connect(b, &QComboBox::currentIndexChanged, this, &ModesSection::markDirty);
    for (QCheckBox* c : {m_trim, m_live, m_ai, m_override})
        connect(c, &QCheckBox::toggled, this, &ModesSection::markDirty);
    connect(m_chunk, &QSpinBox::valueChanged, this, &ModesSection::markDirty);
    connect(m_prompt, &QPlainTextEdit::textChanged, this, &ModesSection::markDirty);
    connect(m_provider, &QComboBox::currentIndexChanged, this, [this] {
        if (m_loading)
            return;
        refreshModelChoices();
        markDirty();
    });
    connect(m_aiProvider, &QComboBox::currentIndexChanged, this, [this] {
        if (m_loading)
            return;
        refreshAIModels(m_aiProvider, m_aiModel, {});
        markDirty();
    });
    connect(m_overrideProvider, &QComboBox::currentIndexChanged, this, [this] {
        if (m_loading)
            return;
        refreshAIModels(m_overrideProvider, m_overrideModel, {});
        markDirty();
    });
    connect(m_preset, &QComboBox::currentIndexChanged, this, [this] {
        if (m_loading)
            return;
        // Taking a saved prompt copies its text into the mode.
        const QUuid id = m_preset->currentData().toUuid();
        if (!id.isNull())
            if (const auto preset = m_context.store.find<PromptPreset>(id))
                m_prompt->setPlainText(preset->prompt);
        markDirty();
    });
    connect(m_ai, &QCheckBox::toggled, this, &ModesSection::refreshEnabling);
    connect(m_override, &QCheckBox::toggled, this, &ModesSection::refreshEnabling);
    connect(m_save, &QPushButton::clicked, this, [this] { save(); });
    connect(m_revert, &QPushButton::clicked, this, &ModesSection::revert);
    connect(m_shortcut, &ShortcutRecorder::comboEdited, this, &ModesSection::setShortcut);
    connect(m_applyRules, &QPushButton::clicked, this, [this] {
        setApplications(lines(m_apps));
        setAddresses(lines(m_urls));
    });
    connect(m_autoSend, &QCheckBox::toggled, this, [this](bool on) {
        if (!m_loading)
            setAutoSend(on);
    });
    return page;
}

void ModesSection::activated()
{
    m_list->setFocus();
}

void ModesSection::reload()
{
    m_modes = m_context.store.fetch<TranscriptionMode>({}, {{QStringLiteral("sortOrder"), true},
                                                            {QStringLiteral("createdAt"), true}});
    m_loading = true;
    m_list->clear();
    int selectedRow = -1;
    for (int i = 0; i < m_modes.size(); ++i) {
        m_list->addItem(m_modes[i].name);
        if (m_selected == m_modes[i].id)
            selectedRow = i;
    }
    if (selectedRow < 0 && !m_modes.isEmpty()) {
        selectedRow = 0;
        m_selected = m_modes[0].id;
        m_dirty = false;
    }
    if (selectedRow < 0)
        m_selected.reset();
    m_list->setCurrentRow(selectedRow);
    m_loading = false;
    m_stack->setCurrentIndex(m_selected ? 1 : 0);
    m_remove->setEnabled(m_selected.has_value());
    m_up->setEnabled(selectedRow > 0);
    m_down->setEnabled(selectedRow >= 0 && selectedRow + 1 < m_modes.size());
    // An edit in progress is kept; otherwise the form follows the store (other windows, sync).
    if (!m_dirty)
        loadForm();
}

void ModesSection::select(const QUuid& id)
{
    for (int i = 0; i < m_modes.size(); ++i)
        if (m_modes[i].id == id)
            m_list->setCurrentRow(i);
}

void ModesSection::refreshModelChoices()
{
    const QString keep = chosen(m_model);
    const bool wasLoading = m_loading;
    m_loading = true;
    m_model->clear();
    if (const auto provider = transcriptionProviderFromRaw(chosen(m_provider)))
        for (const QString& model : TranscriptionModelChoice::offered(*provider))
            m_model->addItem(model, model);
    if (!keep.isEmpty() && m_model->findData(keep) >= 0)
        m_model->setCurrentIndex(m_model->findData(keep));
    m_loading = wasLoading;
}

void ModesSection::refreshAIModels(QComboBox* providerBox, QComboBox* modelBox, const QString& keep)
{
    const bool wasLoading = m_loading;
    m_loading = true;
    modelBox->clear();
    if (const auto provider = aiProviderFromRaw(chosen(providerBox)))
        for (const AIModel& m : AIModelCatalog::models(*provider))
            modelBox->addItem(m.name, m.id);
    if (!keep.isEmpty())
        choose(modelBox, keep, AIModelCatalog::modelDisplayName(keep));
    m_loading = wasLoading;
}

void ModesSection::refreshPresets()
{
    const QUuid keep = m_preset->currentData().toUuid();
    const bool wasLoading = m_loading;
    m_loading = true;
    m_preset->clear();
    m_preset->addItem(QStringLiteral("Aucun (prompt propre au mode)"), QUuid());
    const auto presets = m_context.store.fetch<PromptPreset>([](const PromptPreset& p) { return !p.isTrashed; },
                                                             {{QStringLiteral("sortOrder"), true}});
    for (const PromptPreset& p : presets)
        m_preset->addItem(p.name.isEmpty() ? QStringLiteral("(sans nom)") : p.name, p.id);
    const int index = m_preset->findData(keep);
    m_preset->setCurrentIndex(index >= 0 ? index : 0);
    m_loading = wasLoading;
}

void ModesSection::loadForm()
{
    const auto it = std::find_if(m_modes.cbegin(), m_modes.cend(),
                                 [this](const TranscriptionMode& m) { return m_selected == m.id; });
    m_stack->setCurrentIndex(it != m_modes.cend() ? 1 : 0);
    if (it == m_modes.cend())
        return;
    const TranscriptionMode& m = *it;
    m_loading = true;
    m_name->setText(m.name);
    m_icon->setText(m.icon);
    choose(m_iconColor, m.iconForegroundColorRaw);
    choose(m_iconBackground, m.iconBackgroundColorRaw);
    choose(m_provider, m.transcriptionProviderRaw);
    refreshModelChoices();
    choose(m_model, m.transcriptionModel);
    choose(m_language, m.language);
    m_trim->setChecked(m.trimSilence);
    m_live->setChecked(m.liveTranscription);
    m_chunk->setValue(m.nemotronChunkMs.value_or(0));
    m_ai->setChecked(m.enableAIEnhancement);
    choose(m_aiProvider, m.aiProviderRaw);
    refreshAIModels(m_aiProvider, m_aiModel, m.aiModel);
    m_override->setChecked(m.aiOverrideProviderRaw.has_value());
    choose(m_overrideProvider, m.aiOverrideProviderRaw.value_or(rawValue(AIProvider::claude)));
    refreshAIModels(m_overrideProvider, m_overrideModel, m.aiOverrideModel.value_or(QString()));
    refreshPresets();
    if (m.promptPresetID && m_preset->findData(*m.promptPresetID) < 0)
        m_preset->addItem(QStringLiteral("(prompt supprimé)"), *m.promptPresetID);
    m_preset->setCurrentIndex(std::max(0, m_preset->findData(m.promptPresetID.value_or(QUuid()))));
    m_prompt->setPlainText(m.promptTemplate);
    m_shortcut->setCombo(m_context.shortcuts.combination(ShortcutName::forMode(m.id)));
    m_shortcut->setError({});
    if (m_context.appModes) {
        m_apps->setPlainText(m_context.appModes->applicationsOf(m.id).join(QLatin1Char('\n')));
        m_urls->setPlainText(m_context.appModes->urlFragmentsOf(m.id).join(QLatin1Char('\n')));
        m_autoSend->setChecked(
            m_context.appModes->autoSendModeIDs().contains(uuidText(m.id)));
    }
    m_loading = false;
    m_dirty = false;
    refreshEnabling();
}

void ModesSection::refreshEnabling()
{
    m_override->setEnabled(m_ai->isChecked());
    m_overrideProvider->setEnabled(m_ai->isChecked() && m_override->isChecked());
    m_overrideModel->setEnabled(m_ai->isChecked() && m_override->isChecked());
    m_save->setEnabled(m_dirty);
    m_revert->setEnabled(m_dirty);
}

void ModesSection::markDirty()
{
    if (m_loading)
        return;
    m_dirty = true;
    setStatus({});
    refreshEnabling();
}

std::optional<TranscriptionMode> ModesSection::editedMode() const
{
    const auto it = std::find_if(m_modes.cbegin(), m_modes.cend(),
                                 [this](const TranscriptionMode& m) { return m_selected == m.id; });
    if (it == m_modes.cend())
        return std::nullopt;
    TranscriptionMode m = *it;
    m.name = m_name->text().trimmed();
    m.icon = m_icon->text().trimmed();
    m.iconForegroundColorRaw = chosen(m_iconColor);
    m.iconBackgroundColorRaw = chosen(m_iconBackground);
    m.transcriptionProviderRaw = chosen(m_provider);
    m.transcriptionModel = chosen(m_model);
    m.language = chosen(m_language);
    m.trimSilence = m_trim->isChecked();
    m.liveTranscription = m_live->isChecked();
    m.nemotronChunkMs = m_chunk->value() > 0 ? std::optional<int>(m_chunk->value()) : std::nullopt;
    m.enableAIEnhancement = m_ai->isChecked();
    m.aiProviderRaw = chosen(m_aiProvider);
    m.aiModel = chosen(m_aiModel);
    if (m_override->isChecked()) {
        m.aiOverrideProviderRaw = chosen(m_overrideProvider);
        m.aiOverrideModel = chosen(m_overrideModel);
    } else {
        m.aiOverrideProviderRaw.reset();
        m.aiOverrideModel.reset();
    }
    const QUuid preset = m_preset->currentData().toUuid();
    m.promptPresetID = preset.isNull() ? std::nullopt : std::optional<QUuid>(preset);
    m.promptTemplate = m_prompt->toPlainText();
    return m;
}

std::optional<QString> ModesSection::save()
{
    auto m = editedMode();
    if (!m)
        return std::nullopt;
    if (m->name.isEmpty()) {
        const QString message = QStringLiteral("Le nom du mode ne peut pas être vide.");
        setStatus(message);
        return message;
    }
    if (auto ok = m_context.store.update(*m); !ok) {
        setStatus(ok.error().message);
        return ok.error().message;
    }
    m_dirty = false;
    reload();
    setStatus(QStringLiteral("Mode enregistré."));
    return std::nullopt;
}

void ModesSection::revert()
{
    m_dirty = false;
    loadForm();
    setStatus({});
}

QUuid ModesSection::addMode()
{
    TranscriptionMode m;
    m.name = QStringLiteral("Nouveau mode");
    int last = -1;
    for (const TranscriptionMode& other : m_modes)
        last = std::max(last, other.sortOrder);
    m.sortOrder = last + 1;
    if (auto ok = m_context.store.insert(m); !ok) {
        setStatus(ok.error().message);
        return {};
    }
    m_selected = m.id;
    m_dirty = false;
    reload();
    m_name->setFocus();
    m_name->selectAll();
    return m.id;
}

void ModesSection::deleteSelected()
{
    if (!m_selected)
        return;
    const QUuid id = *m_selected;
    if (auto ok = m_context.store.remove<TranscriptionMode>(id); !ok) {
        setStatus(ok.error().message);
        return;
    }
    // Its shortcut and rules would point at nothing.
    (void)m_context.shortcuts.set(ShortcutName::forMode(id), std::nullopt);
    if (m_context.appModes) {
        m_context.appModes->setApplications(id, {});
        m_context.appModes->setURLFragments(id, {});
        m_context.appModes->setAutoSend(id, false);
    }
    m_selected.reset();
    m_dirty = false;
    reload();
}

void ModesSection::moveSelected(int delta)
{
    int row = -1;
    for (int i = 0; i < m_modes.size(); ++i)
        if (m_modes[i].id == m_selected)
            row = i;
    const int target = row + delta;
    if (row < 0 || target < 0 || target >= m_modes.size())
        return;
    QList<TranscriptionMode> ordered = m_modes;
    ordered.move(row, target);
    // Renumber the whole list: equal sort orders left by older versions become distinct.
    const auto ok = m_context.store.save([&]() -> StoreResult {
        for (int i = 0; i < ordered.size(); ++i) {
            if (ordered[i].sortOrder == i)
                continue;
            ordered[i].sortOrder = i;
            if (auto r = m_context.store.update(ordered[i]); !r)
                return r;
        }
        return {};
    });
    if (!ok)
        setStatus(ok.error().message);
    reload();
}

void ModesSection::setApplications(const QStringList& ids)
{
    if (m_context.appModes && m_selected)
        m_context.appModes->setApplications(*m_selected, ids);
}

void ModesSection::setAddresses(const QStringList& fragments)
{
    if (m_context.appModes && m_selected)
        m_context.appModes->setURLFragments(*m_selected, fragments);
}

void ModesSection::setAutoSend(bool on)
{
    if (m_context.appModes && m_selected)
        m_context.appModes->setAutoSend(*m_selected, on);
}

void ModesSection::setShortcut(const std::optional<KeyCombo>& combo)
{
    if (!m_selected)
        return;
    QStringList others = ShortcutName::fixedNames();
    for (const TranscriptionMode& m : m_modes)
        others << ShortcutName::forMode(m.id);
    const QString name = ShortcutName::forMode(*m_selected);
    others.removeAll(name);
    if (auto ok = m_context.shortcuts.set(name, combo, others); !ok) {
        m_shortcut->setCombo(m_context.shortcuts.combination(name));
        m_shortcut->setError(ok.error());
        return;
    }
    m_shortcut->setCombo(combo);
    m_shortcut->setError({});
}

void ModesSection::setStatus(const QString& text)
{
    m_status->setText(text);
    m_status->setAccessibleName(text);
}

QString ModesSection::statusText() const { return m_status->text(); }
