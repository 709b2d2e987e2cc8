#include "TrayMenu.h"

#include "DictationActions.h"
#include "dictation/MacDictationController.h"
#include "dictation/MarkdownClipboard.h"
#include "store/AppSettingsKeys.h"
#include "store/RecordStore.h"
#include "store/Settings.h"
#include "store/SharedDefaultsKey.h"

#include <QActionGroup>

namespace {
QString menuLabel(const QString& text)
{
    // One line, short enough for a menu, and '&' shown as itself rather than as a mnemonic.
    QString line = text.simplified();
    if (line.size() > 60)
        line = line.left(59) + QChar(0x2026);
    return line.replace(QLatin1Char('&'), QLatin1String("&&"));
}
} // namespace

TrayMenu::TrayMenu(Dependencies d, QObject* parent) : QObject(parent), m_d(d)
{
    m_menu.setObjectName(QStringLiteral("trayMenu"));
    m_menu.setAccessibleName(QStringLiteral("Ovra"));

    m_activeMode = m_menu.addAction(QString());
    m_activeMode->setObjectName(QStringLiteral("activeMode"));
    m_activeMode->setEnabled(false);

    m_toggle = m_menu.addAction(DictationActions::startText());
    m_toggle->setObjectName(QStringLiteral("toggleDictation"));
    connect(m_toggle, &QAction::triggered, this, &TrayMenu::toggleDictation);

    m_cancel = m_menu.addAction(QStringLiteral("Annuler la dictée"));
    m_cancel->setObjectName(QStringLiteral("cancelDictation"));
    connect(m_cancel, &QAction::triggered, this, [this] { m_d.controller.cancel(); });

    m_copyLast = m_menu.addAction(QStringLiteral("Copier la dernière dictée"));
    m_copyLast->setObjectName(QStringLiteral("copyLastDictation"));
    connect(m_copyLast, &QAction::triggered, this, [this] {
        if (const auto& text = m_d.controller.lastText(); text && !text->isEmpty())
            MarkdownClipboard(m_d.pasteboard).copy(*text);
    });

    m_retry = m_menu.addAction(QStringLiteral("Réessayer la dernière dictée"));
    m_retry->setObjectName(QStringLiteral("retryFailedDictation"));
    connect(m_retry, &QAction::triggered, this, [this] {
        if (const auto id = m_d.controller.lastFailedRecordingID())
            m_d.controller.retryFailed(id);
    });

    m_recent = m_menu.addMenu(QStringLiteral("Dictées récentes"));
    m_recent->setObjectName(QStringLiteral("recentDictations"));
    m_menu.addSeparator();
    m_modes = m_menu.addMenu(QStringLiteral("Mode"));
    m_modes->setObjectName(QStringLiteral("modes"));
    m_prompts = m_menu.addMenu(QStringLiteral("Transformer la sélection"));
    m_prompts->setObjectName(QStringLiteral("transformSelection"));

    m_powerMode = m_menu.addAction(QStringLiteral("Power Mode automatique"));
    m_powerMode->setObjectName(QStringLiteral("powerModeEnabled"));
    m_powerMode->setCheckable(true);
    connect(m_powerMode, &QAction::toggled, this, [this](bool on) {
        if (m_d.settings.boolValue(AppSettingsKey::powerModeEnabled, true) != on)
            m_d.settings.setValue(AppSettingsKey::powerModeEnabled, on);
    });

    m_menu.addSeparator();
    QAction* open = m_menu.addAction(QStringLiteral("Ouvrir Ovra"));
    open->setObjectName(QStringLiteral("openWindow"));
    connect(open, &QAction::triggered, this, &TrayMenu::openWindowRequested);
    QAction* settings = m_menu.addAction(QStringLiteral("Réglages…"));
    settings->setObjectName(QStringLiteral("openSettings"));
    connect(settings, &QAction::triggered, this, &TrayMenu::openSettingsRequested);
    m_menu.addAction(&m_d.checkForUpdates);
    m_menu.addSeparator();
    QAction* quit = m_menu.addAction(QStringLiteral("Quitter Ovra"));
    quit->setObjectName(QStringLiteral("quit"));
    connect(quit, &QAction::triggered, this, &TrayMenu::quitRequested);

    connect(&m_d.controller, &MacDictationController::stateChanged, this, &TrayMenu::refreshState);
    connect(&m_d.controller, &MacDictationController::lastTextChanged, this, &TrayMenu::refreshState);
    connect(&m_d.controller, &MacDictationController::errorMessageChanged, this, &TrayMenu::refreshState);
    connect(&m_d.store, &RecordStore::changed, this, &TrayMenu::onStoreChanged);
    connect(&m_d.settings, &Settings::changed, this, &TrayMenu::onSettingChanged);

    refreshState();
    refreshRecent();
    refreshModes();
    refreshPrompts();
    refreshPowerMode();
}

TrayMenu::~TrayMenu() = default;

QString TrayMenu::activeModeText(const QString& name) { return QStringLiteral("Mode actif : ") + name; }

void TrayMenu::onStoreChanged(const QString& table)
{
    if (table == QLatin1String(RecordSchema<Transcription>::table))
        refreshRecent();
    else if (table == QLatin1String(RecordSchema<TranscriptionMode>::table))
        refreshModes();
    else if (table == QLatin1String(RecordSchema<PromptPreset>::table))
        refreshPrompts();
}

void TrayMenu::onSettingChanged(const QString& key)
{
    if (key == AppSettingsKey::powerModeEnabled)
        refreshPowerMode();
    else if (key == SharedDefaults::key(SharedDefaultsKey::activeModeID))
        refreshModes();
}

void TrayMenu::refreshState()
{
    const RecordingState s = m_d.controller.state();
    m_toggle->setText(DictationActions::toggleText(s));
    m_toggle->setEnabled(DictationActions::toggleEnabled(s));
    m_cancel->setEnabled(s != RecordingState::idle);
    const auto& last = m_d.controller.lastText();
    m_copyLast->setEnabled(last && !last->isEmpty());
    m_retry->setVisible(m_d.controller.lastFailedRecordingID().has_value());
    m_retry->setEnabled(DictationActions::toggleEnabled(s) && s != RecordingState::recording);
}

void TrayMenu::refreshRecent()
{
    m_recent->clear();
    int taken = 0;
    // Newest first; the predicate stops decoding once five rows are kept.
    const QList<Transcription> recent = m_d.store.fetch<Transcription>(
        [&taken](const Transcription&) { return taken++ < kRecentCount; }, {{QStringLiteral("createdAt"), false}});
    for (const Transcription& t : recent) {
        QAction* a = m_recent->addAction(menuLabel(t.text));
        const QString text = t.text;
        connect(a, &QAction::triggered, this, [this, text] { MarkdownClipboard(m_d.pasteboard).copy(text); });
    }
    m_recent->menuAction()->setEnabled(!recent.isEmpty());
}

void TrayMenu::refreshModes()
{
    m_modes->clear();
    const QList<TranscriptionMode> modes =
        m_d.store.fetch<TranscriptionMode>({}, {{QStringLiteral("sortOrder"), true}});
    QUuid active = m_d.controller.activeModeID().value_or(QUuid());
    if (const auto synced = m_d.settings.stringValue(SharedDefaultsKey::activeModeID); synced && active.isNull())
        active = QUuid::fromString(*synced);
    // The controller falls back to the first mode when the active one is gone.
    const TranscriptionMode* current = modes.isEmpty() ? nullptr : &modes.first();
    for (const TranscriptionMode& m : modes)
        if (!active.isNull() && m.id == active)
            current = &m;
    auto* group = new QActionGroup(m_modes);
    for (const TranscriptionMode& m : modes) {
        QAction* a = m_modes->addAction(menuLabel(m.name));
        a->setCheckable(true);
        a->setChecked(&m == current);
        group->addAction(a);
        const QUuid id = m.id;
        connect(a, &QAction::triggered, this, [this, id] {
            if (const auto mode = m_d.store.find<TranscriptionMode>(id))
                m_d.controller.setActiveMode(*mode);
        });
    }
    m_modes->menuAction()->setEnabled(!modes.isEmpty());
    m_activeMode->setText(activeModeText(current ? current->name : QStringLiteral("Normal")));
}

void TrayMenu::refreshPrompts()
{
    m_prompts->clear();
    const QList<PromptPreset> prompts = m_d.store.fetch<PromptPreset>({}, {{QStringLiteral("sortOrder"), true}});
    for (const PromptPreset& p : prompts) {
        QAction* a = m_prompts->addAction(menuLabel(p.name));
        const QString instruction = p.prompt;
        connect(a, &QAction::triggered, this, [this, instruction] { m_d.controller.transformSelection(instruction); });
    }
    m_prompts->menuAction()->setEnabled(!prompts.isEmpty());
}

void TrayMenu::refreshPowerMode()
{
    const bool on = m_d.settings.boolValue(AppSettingsKey::powerModeEnabled, true);
    if (m_powerMode->isChecked() != on)
        m_powerMode->setChecked(on);
}

void TrayMenu::toggleDictation()
{
    // From the tray the text goes to the cursor, as with the global shortcut.
    DictationActions::toggle(m_d.controller, DictationTrigger::hotkey);
}
