#include "SettingsSection.h"

#include "LocalModelPane.h"

#include "APIKeysPane.h"
#include "CloudSyncPane.h"
#include "ai/AIModelCatalog.h"
#include "dictation/CompositorBindings.h"
#include "dictation/MacPrimaryShortcutMode.h"
#include "dictation/ShortcutBindings.h"
#include "platform/AudioCapture.h"
#include "platform/Pasteboard.h"
#include "store/AppSettingsKeys.h"
#include "store/DebugLog.h"
#include "store/RecordStore.h"
#include "store/Settings.h"
#include "ui/widgets/ShortcutRecorder.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {
QString featureLabel(std::optional<AIFeature> f)
{
    if (!f)
        return QStringLiteral("Choix global");
    switch (*f) {
    case AIFeature::postprocess: return QStringLiteral("Réécriture des dictées");
    case AIFeature::notes: return QStringLiteral("Assistant des notes");
    case AIFeature::learning: return QStringLiteral("Apprentissage");
    case AIFeature::categorization: return QStringLiteral("Catégorisation");
    case AIFeature::promptBuilder: return QStringLiteral("Rédaction de prompts");
    case AIFeature::modeIcon: return QStringLiteral("Icônes des modes");
    case AIFeature::selectionTransform: return QStringLiteral("Transformation de la sélection");
    }
    return {};
}

QString shortcutLabel(const QString& name)
{
    if (name == ShortcutName::toggleDictation)
        return QStringLiteral("Dicter");
    if (name == ShortcutName::pushToTalk)
        return QStringLiteral("Maintenir pour parler");
    if (name == ShortcutName::transformSelection)
        return QStringLiteral("Transformer la sélection");
    return name;
}

QSpinBox* daysBox(const QString& name, QWidget* parent)
{
    auto* box = new QSpinBox(parent);
    box->setAccessibleName(name);
    box->setRange(0, 3650);
    box->setSpecialValueText(QStringLiteral("Toujours"));
    box->setSuffix(QStringLiteral(" jours"));
    return box;
}
} // namespace

SettingsSection::SettingsSection(SectionContext& context, QWidget* parent)
    : Section(MacSection::settings, parent), m_context(context)
{
    auto* page = new QWidget(this);
    auto* pageLayout = new QVBoxLayout(page);
    m_keys = new APIKeysPane(context.vault, context.keyVerifier, page);
    pageLayout->addWidget(m_keys);
    pageLayout->addWidget(buildAudio());
    pageLayout->addWidget(buildShortcuts());
    pageLayout->addWidget(buildAI());
    if (context.localModel)
        pageLayout->addWidget(new LocalModelPane(*context.localModel, context.settings, this));
    pageLayout->addWidget(buildRetention());
    pageLayout->addWidget(buildStartup());
    if (m_context.cloudSync && m_context.keyBackup)
        pageLayout->addWidget(new CloudSyncPane(m_context, *m_context.cloudSync, *m_context.keyBackup,
                                                m_context.settingsSync, this));
    pageLayout->addWidget(buildJournal());
    pageLayout->addStretch();

    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidget(page);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(scroll);
}

void SettingsSection::activated()
{
    // Asking the sound server is slow: only when the page is first shown.
    if (!m_microphonesListed)
        refreshMicrophones();
}

QWidget* SettingsSection::buildAudio()
{
    auto* box = new QGroupBox(QStringLiteral("Micro, panneau et sons"), this);
    auto* form = new QFormLayout(box);
    Settings& settings = m_context.settings;

    m_microphone = new QComboBox(box);
    m_microphone->setAccessibleName(QStringLiteral("Micro"));
    auto* refresh = new QPushButton(QStringLiteral("Actualiser"), box);
    refresh->setAccessibleName(QStringLiteral("Actualiser la liste des micros"));
    m_microphoneStatus = new QLabel(box);
    m_microphoneStatus->setWordWrap(true);
    auto* micRow = new QHBoxLayout;
    micRow->addWidget(m_microphone, 1);
    micRow->addWidget(refresh);
    form->addRow(QStringLiteral("Micro"), micRow);
    form->addRow(QString(), m_microphoneStatus);
    m_microphone->addItem(QStringLiteral("Micro par défaut du système"), QString());

    m_panelStyle = new QComboBox(box);
    m_panelStyle->setAccessibleName(QStringLiteral("Style du panneau d'enregistrement"));
    m_panelStyle->addItem(QStringLiteral("En bas de l'écran"), QStringLiteral("bottom"));
    m_panelStyle->addItem(QStringLiteral("En haut de l'écran"), QStringLiteral("notch"));
    m_panelStyle->setCurrentIndex(
        settings.stringValue(AppSettingsKey::hudStyle, QStringLiteral("bottom")) == QLatin1String("notch") ? 1 : 0);
    form->addRow(QStringLiteral("Panneau"), m_panelStyle);

    m_sounds = new QCheckBox(QStringLiteral("Sons au début et à la fin d'une dictée"), box);
    m_sounds->setChecked(settings.boolValue(AppSettingsKey::sounds, true));
    m_pauseMedia = new QCheckBox(QStringLiteral("Mettre en pause la musique et les vidéos pendant la dictée"), box);
    m_pauseMedia->setChecked(settings.boolValue(AppSettingsKey::pauseMedia, true));
    form->addRow(QString(), m_sounds);
    form->addRow(QString(), m_pauseMedia);

    connect(refresh, &QPushButton::clicked, this, &SettingsSection::refreshMicrophones);
    connect(m_microphone, &QComboBox::currentIndexChanged, this, [this] {
        if (m_loading)
            return;
        const QString id = m_microphone->currentData().toString();
        if (id.isEmpty())
            m_context.settings.remove(AppSettingsKey::inputDeviceID);
        else
            m_context.settings.setValue(AppSettingsKey::inputDeviceID, id);
    });
    connect(m_panelStyle, &QComboBox::currentIndexChanged, this,
            [this] { m_context.settings.setValue(AppSettingsKey::hudStyle, m_panelStyle->currentData()); });
    connect(m_sounds, &QCheckBox::toggled, this, [this](bool on) { m_context.settings.setValue(AppSettingsKey::sounds, on); });
    connect(m_pauseMedia, &QCheckBox::toggled, this,
            [this](bool on) { m_context.settings.setValue(AppSettingsKey::pauseMedia, on); });
    return box;
}

void SettingsSection::refreshMicrophones()
{
    m_microphonesListed = true;
    const QString chosen = m_context.settings.stringValue(AppSettingsKey::inputDeviceID, QString());
    m_loading = true;
    m_microphone->clear();
    m_microphone->addItem(QStringLiteral("Micro par défaut du système"), QString());
    m_microphoneStatus->clear();
    if (!m_context.audioCapture) {
        m_microphoneStatus->setText(QStringLiteral("La liste des micros n'est pas disponible."));
    } else if (auto devices = m_context.audioCapture->devices(); !devices) {
        m_microphoneStatus->setText(devices.error().message);
    } else {
        for (const AudioInputDevice& d : *devices)
            m_microphone->addItem(d.description.isEmpty() ? d.id : d.description, d.id);
    }
    // A chosen micro that is unplugged stays chosen: it comes back when plugged in again.
    if (!chosen.isEmpty() && m_microphone->findData(chosen) < 0)
        m_microphone->addItem(chosen + QStringLiteral(" (absent)"), chosen);
    m_microphone->setCurrentIndex(std::max(0, m_microphone->findData(chosen)));
    m_microphoneStatus->setVisible(!m_microphoneStatus->text().isEmpty());
    m_loading = false;
}

QWidget* SettingsSection::buildShortcuts()
{
    auto* box = new QGroupBox(QStringLiteral("Raccourcis"), this);
    auto* form = new QFormLayout(box);
    m_primaryMode = new QComboBox(box);
    m_primaryMode->setAccessibleName(QStringLiteral("Comportement du raccourci principal"));
    for (auto mode : {MacPrimaryShortcutMode::toggle, MacPrimaryShortcutMode::pushToTalk, MacPrimaryShortcutMode::hybrid})
        m_primaryMode->addItem(PrimaryShortcutMode::label(mode), PrimaryShortcutMode::rawValue(mode));
    const auto current = PrimaryShortcutMode::fromRaw(
        m_context.settings.stringValue(AppSettingsKey::primaryShortcutMode, QString()));
    m_primaryMode->setCurrentIndex(m_primaryMode->findData(PrimaryShortcutMode::rawValue(current)));
    form->addRow(QStringLiteral("Raccourci principal"), m_primaryMode);
    connect(m_primaryMode, &QComboBox::currentIndexChanged, this, [this] {
        m_context.settings.setValue(AppSettingsKey::primaryShortcutMode, m_primaryMode->currentData());
    });
    for (const QString& name : ShortcutName::fixedNames()) {
        auto* recorder = new ShortcutRecorder(box);
        recorder->setAccessibleName(shortcutLabel(name));
        recorder->setCombo(m_context.shortcuts.combination(name));
        m_recorders.insert(name, recorder);
        form->addRow(shortcutLabel(name), recorder);
        connect(recorder, &ShortcutRecorder::comboEdited, this,
                [this, name](const std::optional<KeyCombo>& combo) { setShortcut(name, combo); });
    }
    // Where no shortcut can be grabbed (sway, other wlroots compositors) the compositor runs our commands.
    auto* note = new QLabel(QStringLiteral("Sous sway et les autres compositeurs sans raccourcis globaux, ajoutez ces "
                                           "lignes à leur configuration (ovra cancel abandonne une dictée) :"),
                            box);
    note->setWordWrap(true);
    m_compositorBindings = new QPlainTextEdit(box);
    m_compositorBindings->setReadOnly(true);
    m_compositorBindings->setAccessibleName(QStringLiteral("Lignes bindsym pour sway"));
    m_compositorBindings->setFixedHeight(m_compositorBindings->fontMetrics().lineSpacing() * 5);
    m_compositorBindings->setLineWrapMode(QPlainTextEdit::NoWrap);
    // Where the desktop portal owns the keys, the user changes them in the desktop's own dialog.
    m_desktopShortcuts = new QPushButton(QStringLiteral("Modifier dans les réglages du bureau…"), box);
    m_desktopShortcuts->setVisible(bool(m_context.configureDesktopShortcuts));
    connect(m_desktopShortcuts, &QPushButton::clicked, this, [this] {
        if (m_context.configureDesktopShortcuts)
            m_context.configureDesktopShortcuts();
    });
    form->addRow(m_desktopShortcuts);
    form->addRow(note);
    form->addRow(m_compositorBindings);
    refreshCompositorBindings();
    // What the session lets us do, so a missing paste or shortcut is explained where it is set up.
    m_session = new QLabel(m_context.sessionDescription.isEmpty() ? QStringLiteral("inconnue")
                                                                  : m_context.sessionDescription,
                           box);
    m_session->setWordWrap(true);
    m_session->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_session->setAccessibleName(QStringLiteral("Session de bureau"));
    form->addRow(QStringLiteral("Session de bureau"), m_session);
    return box;
}

void SettingsSection::refreshCompositorBindings()
{
    m_compositorBindings->setPlainText(
        CompositorBindings::swayLines([this](const QString& name) { return m_context.shortcuts.combination(name); })
            .join(QLatin1Char('\n')));
}

ShortcutRecorder* SettingsSection::recorder(const QString& shortcutName) const { return m_recorders.value(shortcutName); }

void SettingsSection::setShortcut(const QString& name, const std::optional<KeyCombo>& combo)
{
    ShortcutRecorder* r = m_recorders.value(name);
    if (!r)
        return;
    QStringList others;
    for (const TranscriptionMode& m : m_context.store.fetch<TranscriptionMode>())
        others << ShortcutName::forMode(m.id);
    if (auto ok = m_context.shortcuts.set(name, combo, others); !ok) {
        r->setCombo(m_context.shortcuts.combination(name));
        r->setError(ok.error());
        return;
    }
    r->setCombo(m_context.shortcuts.combination(name));
    r->setError({});
    refreshCompositorBindings();
}

QWidget* SettingsSection::buildAI()
{
    auto* box = new QGroupBox(QStringLiteral("Fournisseur d'IA par usage"), this);
    auto* grid = new QGridLayout(box);
    QList<std::optional<AIFeature>> features{std::nullopt};
    for (AIFeature f : {AIFeature::postprocess, AIFeature::selectionTransform, AIFeature::notes, AIFeature::learning,
                        AIFeature::categorization, AIFeature::promptBuilder, AIFeature::modeIcon})
        features << f;
    int line = 0;
    for (const auto& f : features) {
        AIRow row{f, new QComboBox(box), new QComboBox(box)};
        row.provider->setAccessibleName(featureLabel(f) + QStringLiteral(" : fournisseur"));
        row.model->setAccessibleName(featureLabel(f) + QStringLiteral(" : modèle"));
        if (f)
            row.provider->addItem(QStringLiteral("Comme le choix global"), QString());
        for (AIProvider p : allAIProviders())
            row.provider->addItem(AIModelCatalog::providerDisplayName(p), rawValue(p));
        auto* label = new QLabel(featureLabel(f), box);
        label->setBuddy(row.provider);
        grid->addWidget(label, line, 0);
        grid->addWidget(row.provider, line, 1);
        grid->addWidget(row.model, line, 2);
        ++line;
        m_aiRows << row;
    }
    grid->setColumnStretch(2, 1);
    for (qsizetype i = 0; i < m_aiRows.size(); ++i) {
        loadAIRow(m_aiRows[i]);
        connect(m_aiRows[i].provider, &QComboBox::currentIndexChanged, this, [this, i] {
            if (m_loading)
                return;
            fillModels(m_aiRows[i], {});
            storeAIRow(m_aiRows[i]);
        });
        connect(m_aiRows[i].model, &QComboBox::currentIndexChanged, this, [this, i] {
            if (!m_loading)
                storeAIRow(m_aiRows[i]);
        });
    }
    return box;
}

namespace {
SharedDefaultsKey providerKeyOf(std::optional<AIFeature> f)
{
    return f ? AIProviderSettings::providerKey(*f) : SharedDefaultsKey::globalAIProviderRaw;
}
SharedDefaultsKey modelKeyOf(std::optional<AIFeature> f)
{
    return f ? AIProviderSettings::modelKey(*f) : SharedDefaultsKey::globalAIModel;
}
} // namespace

void SettingsSection::loadAIRow(AIRow& row)
{
    m_loading = true;
    const auto raw = m_context.settings.stringValue(providerKeyOf(row.feature));
    const auto provider = raw ? aiProviderFromRaw(*raw) : std::nullopt;
    // An invalid stored provider reads as "follow the global choice" (claude for the global row).
    const QString shown = provider ? rawValue(*provider) : (row.feature ? QString() : rawValue(AIProvider::claude));
    row.provider->setCurrentIndex(std::max(0, row.provider->findData(shown)));
    m_loading = false;
    fillModels(row, m_context.settings.stringValue(modelKeyOf(row.feature)).value_or(QString()));
}

void SettingsSection::fillModels(AIRow& row, const QString& keep)
{
    const bool wasLoading = m_loading;
    m_loading = true;
    row.model->clear();
    const auto provider = aiProviderFromRaw(row.provider->currentData().toString());
    row.model->setEnabled(provider.has_value());
    if (provider) {
        for (const AIModel& m : AIModelCatalog::models(*provider))
            row.model->addItem(m.name, m.id);
        int index = row.model->findData(keep);
        if (index < 0)
            index = row.model->findData(AIProviderSettings::defaultModel(*provider));
        row.model->setCurrentIndex(std::max(0, index));
    }
    m_loading = wasLoading;
}

void SettingsSection::storeAIRow(const AIRow& row)
{
    Settings& s = m_context.settings;
    const QString provider = row.provider->currentData().toString();
    if (provider.isEmpty()) {
        s.remove(SharedDefaults::key(providerKeyOf(row.feature)));
        s.remove(SharedDefaults::key(modelKeyOf(row.feature)));
        return;
    }
    s.setValue(providerKeyOf(row.feature), provider);
    s.setValue(modelKeyOf(row.feature), row.model->currentData().toString());
}

QComboBox* SettingsSection::aiProviderBox(std::optional<AIFeature> feature) const
{
    for (const AIRow& r : m_aiRows)
        if (r.feature == feature)
            return r.provider;
    return nullptr;
}

QComboBox* SettingsSection::aiModelBox(std::optional<AIFeature> feature) const
{
    for (const AIRow& r : m_aiRows)
        if (r.feature == feature)
            return r.model;
    return nullptr;
}

QWidget* SettingsSection::buildRetention()
{
    auto* box = new QGroupBox(QStringLiteral("Conservation"), this);
    auto* form = new QFormLayout(box);
    Settings& s = m_context.settings;
    m_dictationDays = daysBox(QStringLiteral("Durée de conservation du texte des dictées"), box);
    m_dictationDays->setValue(int(std::max<qint64>(0, s.intValue(SharedDefaultsKey::dictationRetentionDays, 0))));
    m_noteDays = daysBox(QStringLiteral("Durée de conservation des notes"), box);
    m_noteDays->setValue(int(std::max<qint64>(0, s.intValue(SharedDefaultsKey::noteRetentionDays, 0))));
    m_audioCount = new QSpinBox(box);
    m_audioCount->setAccessibleName(QStringLiteral("Nombre d'enregistrements audio gardés"));
    m_audioCount->setRange(0, 10000);
    m_audioCount->setSpecialValueText(QStringLiteral("Aucun"));
    m_audioCount->setValue(int(std::max<qint64>(0, s.intValue(SharedDefaultsKey::dictationAudioRetentionCount, 0))));
    form->addRow(QStringLiteral("Texte des dictées"), m_dictationDays);
    form->addRow(QStringLiteral("Notes"), m_noteDays);
    form->addRow(QStringLiteral("Enregistrements audio gardés"), m_audioCount);
    auto* note = new QLabel(QStringLiteral("Les statistiques gardent le compte des mots des dictées effacées."), box);
    note->setWordWrap(true);
    form->addRow(note);
    connect(m_dictationDays, &QSpinBox::valueChanged, this,
            [this](int v) { m_context.settings.setValue(SharedDefaultsKey::dictationRetentionDays, v); });
    connect(m_noteDays, &QSpinBox::valueChanged, this,
            [this](int v) { m_context.settings.setValue(SharedDefaultsKey::noteRetentionDays, v); });
    connect(m_audioCount, &QSpinBox::valueChanged, this,
            [this](int v) { m_context.settings.setValue(SharedDefaultsKey::dictationAudioRetentionCount, v); });
    return box;
}

QWidget* SettingsSection::buildStartup()
{
    auto* box = new QGroupBox(QStringLiteral("Démarrage"), this);
    auto* layout = new QVBoxLayout(box);
    m_launchAtLogin = new QCheckBox(QStringLiteral("Lancer Ovra à l'ouverture de session"), box);
    m_launchStatus = new QLabel(box);
    m_launchStatus->setWordWrap(true);
    layout->addWidget(m_launchAtLogin);
    layout->addWidget(m_launchStatus);
    const bool available = m_context.launchAtLoginEnabled && m_context.setLaunchAtLogin;
    m_launchAtLogin->setEnabled(available);
    if (available)
        m_launchAtLogin->setChecked(m_context.launchAtLoginEnabled());
    else
        m_launchStatus->setText(QStringLiteral("Le lancement à l'ouverture de session n'est pas disponible ici."));
    connect(m_launchAtLogin, &QCheckBox::toggled, this, [this](bool on) {
        if (!m_context.setLaunchAtLogin)
            return;
        if (auto ok = m_context.setLaunchAtLogin(on); !ok) {
            m_launchStatus->setText(ok.error());
            const QSignalBlocker block(m_launchAtLogin);
            m_launchAtLogin->setChecked(m_context.launchAtLoginEnabled());
        } else {
            m_launchStatus->clear();
        }
    });
    return box;
}

QString SettingsSection::launchStatus() const { return m_launchStatus->text(); }

QWidget* SettingsSection::buildJournal()
{
    auto* box = new QGroupBox(QStringLiteral("Journal de diagnostic"), this);
    auto* layout = new QVBoxLayout(box);
    m_journal = new QPlainTextEdit(box);
    m_journal->setReadOnly(true);
    m_journal->setAccessibleName(QStringLiteral("Journal de diagnostic"));
    m_journal->setTabChangesFocus(true);
    m_journal->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_journal->setMinimumHeight(140);
    m_journal->setPlaceholderText(QStringLiteral("Le journal est vide."));
    auto* show = new QPushButton(QStringLiteral("Afficher"), box);
    show->setAccessibleName(QStringLiteral("Afficher le journal"));
    auto* copy = new QPushButton(QStringLiteral("Copier"), box);
    copy->setAccessibleName(QStringLiteral("Copier le journal"));
    auto* clear = new QPushButton(QStringLiteral("Effacer…"), box);
    clear->setAccessibleName(QStringLiteral("Effacer le journal"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(show);
    buttons->addWidget(copy);
    buttons->addStretch();
    buttons->addWidget(clear);
    layout->addWidget(m_journal);
    layout->addLayout(buttons);
    connect(show, &QPushButton::clicked, this, &SettingsSection::refreshJournal);
    connect(copy, &QPushButton::clicked, this, &SettingsSection::copyJournal);
    connect(clear, &QPushButton::clicked, this, [this] {
        const auto answer = QMessageBox::question(this, QStringLiteral("Effacer le journal"),
                                                  QStringLiteral("Effacer tout le journal de diagnostic ?"));
        if (answer == QMessageBox::Yes)
            clearJournal();
    });
    return box;
}

void SettingsSection::refreshJournal()
{
    m_journal->setPlainText(m_context.log.contents());
    m_journal->moveCursor(QTextCursor::End);
}

void SettingsSection::copyJournal() { m_context.pasteboard.setText(m_context.log.contents()); }

void SettingsSection::clearJournal()
{
    m_context.log.clear();
    m_journal->clear();
}
