#pragma once
// The application's commands and their key equivalents inside the window: the menu bar's
// "Ovra", "Fichier", "Dictée" and "Présentation" menus. The global shortcuts (Alt+Super+D/T)
// are not window shortcuts and are not bound here.
#include <QList>
#include <QObject>

class BackupFileActions;
class MacDictationController;
class MacNavigation;
class QAction;
class QMenuBar;
class RecordStore;

class AppCommands : public QObject
{
    Q_OBJECT
public:
    struct Dependencies
    {
        MacDictationController& controller;
        RecordStore& store;
        MacNavigation& navigation;
        // Shared with the tray: disabled while no check is possible.
        QAction& checkForUpdates;
        // "Exporter…" and "Importer une sauvegarde…" in the file menu, when given.
        BackupFileActions* backup = nullptr;
    };

    explicit AppCommands(Dependencies dependencies, QObject* parent = nullptr);

    // Fills a menu bar with the commands (the actions stay owned by this object).
    void populate(QMenuBar* bar);

    QAction* newNote() const { return m_newNote; }
    QAction* transcribeFile() const { return m_transcribeFile; }
    QAction* toggleDictation() const { return m_toggle; }
    QAction* cancelDictation() const { return m_cancel; }
    QAction* correctSelection() const { return m_correct; }
    QAction* settings() const { return m_settings; }
    QAction* about() const { return m_about; }
    QAction* quit() const { return m_quit; }
    QAction* closeWindow() const { return m_close; }
    // Dictée, Historique, Notes, Modes: Ctrl+1…4.
    const QList<QAction*>& sectionActions() const { return m_sections; }

Q_SIGNALS:
    // The window should come to the front (a command that shows something in it).
    void activateRequested();
    void aboutRequested();
    void quitRequested();
    void closeWindowRequested();
    // A command failed; the message is for the user.
    void failed(const QString& message);

private:
    void createNote();
    void refreshState();

    Dependencies m_d;
    QAction* m_about = nullptr;
    QAction* m_settings = nullptr;
    QAction* m_quit = nullptr;
    QAction* m_newNote = nullptr;
    QAction* m_transcribeFile = nullptr;
    QAction* m_close = nullptr;
    QAction* m_toggle = nullptr;
    QAction* m_cancel = nullptr;
    QAction* m_correct = nullptr;
    QList<QAction*> m_sections;
};
