#include "AppCommands.h"

#include "BackupFileActions.h"
#include "DictationActions.h"
#include "MacNavigation.h"
#include "dictation/MacDictationController.h"
#include "dictation/MacPrimaryShortcutHandler.h"
#include "store/RecordStore.h"

#include <QAction>
#include <QMenuBar>

namespace {
QAction* makeAction(QObject* owner, const char* name, const QString& text, const QKeySequence& keys = {})
{
    auto* a = new QAction(text, owner);
    a->setObjectName(QLatin1String(name));
    if (!keys.isEmpty()) {
        a->setShortcut(keys);
        a->setShortcutContext(Qt::WindowShortcut);
    }
    return a;
}
} // namespace

AppCommands::AppCommands(Dependencies d, QObject* parent) : QObject(parent), m_d(d)
{
    m_about = makeAction(this, "about", QStringLiteral("À propos d'Ovra"));
    connect(m_about, &QAction::triggered, this, &AppCommands::aboutRequested);
    m_settings = makeAction(this, "settings", QStringLiteral("Réglages…"), QKeySequence(QStringLiteral("Ctrl+,")));
    connect(m_settings, &QAction::triggered, this, [this] {
        m_d.navigation.select(MacSection::settings);
        Q_EMIT activateRequested();
    });
    m_quit = makeAction(this, "quit", QStringLiteral("Quitter Ovra"), QKeySequence(QStringLiteral("Ctrl+Q")));
    connect(m_quit, &QAction::triggered, this, &AppCommands::quitRequested);

    m_newNote = makeAction(this, "newNote", QStringLiteral("Nouvelle note"), QKeySequence(QStringLiteral("Ctrl+N")));
    connect(m_newNote, &QAction::triggered, this, &AppCommands::createNote);
    m_transcribeFile = makeAction(this, "transcribeFile", QStringLiteral("Transcrire un fichier…"),
                                  QKeySequence(QStringLiteral("Ctrl+Shift+O")));
    connect(m_transcribeFile, &QAction::triggered, this, [this] {
        m_d.navigation.select(MacSection::dictation);
        m_d.navigation.setPendingTranscribePicker(true);
        Q_EMIT activateRequested();
    });
    m_close = makeAction(this, "closeWindow", QStringLiteral("Fermer la fenêtre"), QKeySequence(QStringLiteral("Ctrl+W")));
    connect(m_close, &QAction::triggered, this, &AppCommands::closeWindowRequested);

    // From the window the text goes to the clipboard.
    m_toggle = makeAction(this, "toggleDictation", DictationActions::startText());
    connect(m_toggle, &QAction::triggered, this,
            [this] { DictationActions::toggle(m_d.controller, DictationTrigger::window); });
    m_cancel = makeAction(this, "cancelDictation", QStringLiteral("Annuler la dictée"), QKeySequence(Qt::Key_Escape));
    connect(m_cancel, &QAction::triggered, this, [this] { m_d.controller.cancel(); });
    m_correct = makeAction(this, "correctSelection", QStringLiteral("Corriger la sélection"));
    connect(m_correct, &QAction::triggered, this, [this] {
        m_d.controller.transformSelection(QString::fromUtf8(MacPrimaryShortcutHandler::kTransformInstruction));
    });

    const QList<MacSection> shortcutSections = {MacSection::dictation, MacSection::history, MacSection::notes,
                                                MacSection::modes};
    for (int i = 0; i < shortcutSections.size(); ++i) {
        const MacSection s = shortcutSections[i];
        QAction* a = makeAction(this, "section", sectionTitle(s), QKeySequence(QStringLiteral("Ctrl+%1").arg(i + 1)));
        a->setObjectName(QStringLiteral("section-") + sectionKey(s));
        connect(a, &QAction::triggered, this, [this, s] {
            m_d.navigation.select(s);
            Q_EMIT activateRequested();
        });
        m_sections << a;
    }

    connect(&m_d.controller, &MacDictationController::stateChanged, this, &AppCommands::refreshState);
    refreshState();
}

void AppCommands::populate(QMenuBar* bar)
{
    QMenu* app = bar->addMenu(QStringLiteral("&Ovra"));
    app->setObjectName(QStringLiteral("menuOvra"));
    app->addAction(m_about);
    app->addAction(&m_d.checkForUpdates);
    app->addSeparator();
    app->addAction(m_settings);
    app->addSeparator();
    app->addAction(m_quit);

    QMenu* file = bar->addMenu(QStringLiteral("&Fichier"));
    file->setObjectName(QStringLiteral("menuFile"));
    file->addAction(m_newNote);
    file->addAction(m_transcribeFile);
    if (m_d.backup) {
        file->addSeparator();
        file->addAction(m_d.backup->exportAction());
        file->addAction(m_d.backup->importAction());
    }
    file->addSeparator();
    file->addAction(m_close);

    QMenu* dictation = bar->addMenu(QStringLiteral("&Dictée"));
    dictation->setObjectName(QStringLiteral("menuDictation"));
    dictation->addAction(m_toggle);
    dictation->addAction(m_cancel);
    dictation->addAction(m_correct);

    QMenu* view = bar->addMenu(QStringLiteral("&Présentation"));
    view->setObjectName(QStringLiteral("menuView"));
    view->addActions(m_sections);
}

void AppCommands::createNote()
{
    Note note;
    if (const auto ok = m_d.store.save([&] { return m_d.store.insert(note); }); !ok) {
        Q_EMIT failed(QStringLiteral("La note n'a pas pu être créée : ") + ok.error().message);
        return;
    }
    // cloud sync of the new note: not built yet
    m_d.navigation.select(MacSection::notes);
    m_d.navigation.setPendingNoteID(note.id);
    Q_EMIT activateRequested();
}

void AppCommands::refreshState()
{
    const RecordingState s = m_d.controller.state();
    m_toggle->setText(DictationActions::toggleText(s));
    m_toggle->setEnabled(DictationActions::toggleEnabled(s));
    // Escape stays free for the window while there is nothing to cancel.
    m_cancel->setEnabled(s != RecordingState::idle);
}
