// The main window: its menu bar (contents, order, key equivalents, enabling), the sidebar in
// section order bound both ways to the navigation, lazy sections, size, accessible names.
#include "UiRig.h"
#include "dictation/ShortcutBindings.h"
#include "ui/AppCommands.h"
#include "ui/BackupFileActions.h"
#include "ui/MacNavigation.h"
#include "ui/MainWindow.h"
#include "ui/Section.h"
#include "ui/SectionContext.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QHeaderView>
#include <QScrollBar>
#include <QTextEdit>
#include <QLabel>
#include <QAction>
#include <QApplication>
#include <QListWidget>
#include <QScrollArea>
#include <QMenuBar>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTest>
#include <QFileInfo>

#include "ai/KeychainManager.h"
#include "ai/SecretsVault.h"
#include "ai/UsageTracker.h"
#include "platform/linux/secret/MemorySecretStore.h"
#include "store/DebugLog.h"
#include "ai/APIKeyVerifier.h"
#include "network/APINetworkClient.h"
#include "transcription/CloudTranscriber.h"
#include "transcription/TranscriptionManager.h"
#include "transcription/UploadCompressor.h"
#include "fakes/FakeTranscriptionServices.h"

namespace {
QStringList describe(QMenu* menu)
{
    QStringList out;
    for (QAction* a : menu->actions()) {
        if (a->isSeparator()) {
            out << "---";
            continue;
        }
        QString line = a->text();
        if (!a->shortcut().isEmpty())
            line += " [" + a->shortcut().toString() + "]";
        out << line;
    }
    return out;
}

struct WindowRig : UiRig
{
    DebugLog log{dir.path()};
    MacNavigation navigation;
    MemorySecretStore secrets;
    KeychainManager keychain{secrets};
    SecretsVault vault{keychain, settings, notifications};
    UsageTracker usage;
    APINetworkClient network;
    APIKeyVerifier verifier{network, ServiceHosts{}};
    CloudTranscriber cloud{network, [](KeychainKey) { return std::optional<QString>(); }, ServiceHosts{}};
    UploadCompressor compressor{log};
    FakeTrimmer trimmer;
    FakeSystemRecognizer recognizer;
    FakeLocalModels localModels;
    FakeNetworkPathMonitor monitor;
    TranscriptionManager transcription{TranscriptionManager::Dependencies{
        cloud, compressor, trimmer, recognizer, localModels, monitor, usage, settings, log}};
    ShortcutBindings bindings{settings};
    QAction updates{QStringLiteral("Rechercher les mises à jour…")};
    SectionContext context{*store, settings, log, notifications, controller, navigation, vault, keychain,
                           verifier, usage, transcription, bindings, pasteboard};
    BackupFileActions backup{*store, settings, log};
    AppCommands commands{AppCommands::Dependencies{controller, *store, navigation, updates, &backup}};
    MainWindow window{context, commands};
};
} // namespace

class MainWindowTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void menuBar()
    {
        WindowRig rig;
        rig.updates.setEnabled(false);
        QStringList menus;
        for (QAction* a : rig.window.menuBar()->actions())
            menus << a->text();
        QCOMPARE(menus, QStringList({"&Ovra", "&Fichier", "&Dictée", "&Présentation"}));
        const QList<QAction*> top = rig.window.menuBar()->actions();
        QCOMPARE(describe(top[0]->menu()), QStringList({"À propos d'Ovra", "Rechercher les mises à jour…", "---",
                                                        "Réglages… [Ctrl+,]", "---", "Quitter Ovra [Ctrl+Q]"}));
        QCOMPARE(describe(top[1]->menu()), QStringList({"Nouvelle note [Ctrl+N]", "Transcrire un fichier… [Ctrl+Shift+O]",
                                                        "---", "Exporter…", "Importer une sauvegarde…", "---",
                                                        "Fermer la fenêtre [Ctrl+W]"}));
        // The global shortcuts are not window shortcuts: no key equivalent on these two.
        QCOMPARE(describe(top[2]->menu()),
                 QStringList({"Dicter", "Annuler la dictée [Esc]", "Corriger la sélection"}));
        QCOMPARE(describe(top[3]->menu()), QStringList({"Dictée [Ctrl+1]", "Historique [Ctrl+2]", "Notes [Ctrl+3]",
                                                        "Modes [Ctrl+4]"}));
        // Nothing to cancel while idle (Escape stays with the window); no feed: no check.
        QVERIFY(!rig.commands.cancelDictation()->isEnabled());
        QVERIFY(!top[0]->menu()->actions().at(1)->isEnabled());
    }

    void exportThenImportFromTheFileMenu()
    {
        WindowRig rig;
        rig.addMode("Normal", 0);
        QSignalSpy ok(&rig.backup, &BackupFileActions::succeeded);
        QSignalSpy failed(&rig.backup, &BackupFileActions::failed);
        QString proposed;
        const QString path = rig.dir.filePath("sauvegarde.json");
        rig.backup.setSavePicker([&](QWidget*, const QString& p) {
            proposed = p;
            return path;
        });
        rig.backup.setOpenPicker([&](QWidget*, const QString&) { return path; });
        rig.backup.exportAction()->trigger();
        QCOMPARE(QFileInfo(proposed).fileName(), QStringLiteral("ovra-donnees.json"));
        QVERIFY(QFile::exists(path));
        rig.backup.importAction()->trigger();
        QCOMPARE(ok.size(), 2);
        QCOMPARE(ok[1][0].toString(), QStringLiteral("Rien à importer — tout était déjà présent (aucun doublon créé)."));

        // A file that is not a backup changes nothing and says why.
        QFile bad(path);
        QVERIFY(bad.open(QIODevice::WriteOnly));
        bad.write("{\"schema\": ");
        bad.close();
        rig.backup.importAction()->trigger();
        QCOMPARE(failed.size(), 1);
        QVERIFY(failed[0][0].toString().startsWith("Import impossible : Ce fichier n'est pas un document JSON valide"));
        QCOMPARE(rig.store->count<TranscriptionMode>(), 1);
        // Cancelled pickers do nothing.
        rig.backup.setOpenPicker([](QWidget*, const QString&) { return QString(); });
        rig.backup.importAction()->trigger();
        QCOMPARE(ok.size() + failed.size(), 3);
    }

    void dictationMenuFollowsTheState()
    {
        WindowRig rig;
        rig.addMode("Normal", 0);
        QAction* toggle = rig.commands.toggleDictation();
        toggle->trigger();
        QTRY_COMPARE(rig.controller.state(), RecordingState::recording);
        // From the window the text goes to the clipboard.
        QCOMPARE(rig.controller.currentTrigger(), DictationTrigger::window);
        QCOMPARE(toggle->text(), QStringLiteral("Arrêter la dictée"));
        QVERIFY(rig.commands.cancelDictation()->isEnabled());
        rig.commands.cancelDictation()->trigger();
        QCOMPARE(rig.controller.state(), RecordingState::idle);
        QCOMPARE(toggle->text(), QStringLiteral("Dicter"));
    }

    void sidebarListsTheSectionsAndFollowsTheNavigation()
    {
        WindowRig rig;
        QStringList titles;
        for (int i = 0; i < rig.window.sidebar()->count(); ++i)
            titles << rig.window.sidebar()->item(i)->text();
        QCOMPARE(titles, QStringList({"Dictée", "Historique", "Notes", "Modes", "Modes par application", "Téléphone",
                                      "Dictionnaire", "Prompts", "Apprentissage", "Statistiques", "Modèles",
                                      "Réglages"}));
        QCOMPARE(rig.window.minimumSize(), QSize(580, 560));
        QCOMPARE(rig.window.objectName(), QStringLiteral("main"));
        // Only the shown section exists.
        QVERIFY(rig.window.sectionWidget(MacSection::dictation));
        QVERIFY(!rig.window.sectionWidget(MacSection::history));

        rig.window.sidebar()->setCurrentRow(7);
        QCOMPARE(rig.navigation.selection(), MacSection::prompts);
        auto* stack = rig.window.findChild<QStackedWidget*>("sections");
        QCOMPARE(stack->currentWidget(), rig.window.sectionWidget(MacSection::prompts));
        rig.navigation.select(MacSection::settings);
        QCOMPARE(rig.window.sidebar()->currentRow(), 11);
        QCOMPARE(stack->currentWidget()->objectName(), QStringLiteral("settings"));
        // Selecting again reuses the same widget.
        Section* prompts = rig.window.sectionWidget(MacSection::prompts);
        rig.navigation.select(MacSection::prompts);
        QCOMPARE(stack->currentWidget(), prompts);
        QCOMPARE(stack->count(), 3);
    }

    void keyEquivalentsSelectSections_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("section");
        QTest::newRow("Ctrl+1") << "Ctrl+1" << "dictation";
        QTest::newRow("Ctrl+2") << "Ctrl+2" << "history";
        QTest::newRow("Ctrl+3") << "Ctrl+3" << "notes";
        QTest::newRow("Ctrl+4") << "Ctrl+4" << "modes";
    }
    void keyEquivalentsSelectSections()
    {
        QFETCH(QString, keys);
        QFETCH(QString, section);
        WindowRig rig;
        rig.navigation.select(MacSection::settings);
        rig.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&rig.window));
        rig.window.activateWindow();
        QTRY_VERIFY(rig.window.isActiveWindow());
        const QKeySequence seq(keys);
        QTest::keySequence(&rig.window, seq);
        QCOMPARE(sectionKey(rig.navigation.selection()), section);
    }

    void fileCommands()
    {
        WindowRig rig;
        QSignalSpy activate(&rig.commands, &AppCommands::activateRequested);
        rig.commands.transcribeFile()->trigger();
        QCOMPARE(rig.navigation.selection(), MacSection::dictation);
        QVERIFY(rig.navigation.pendingTranscribePicker());
        rig.commands.newNote()->trigger();
        const QList<Note> notes = rig.store->fetch<Note>();
        QCOMPARE(notes.size(), 1);
        QCOMPARE(rig.navigation.selection(), MacSection::notes);
        QCOMPARE(rig.navigation.pendingNoteID(), std::optional<QUuid>(notes.first().id));
        QCOMPARE(activate.size(), 2);
    }

    void firstShownOnceAndAccessibleNames()
    {
        WindowRig rig;
        QSignalSpy first(&rig.window, &MainWindow::firstShown);
        rig.window.show();
        rig.window.hide();
        rig.window.show();
        QCOMPARE(first.size(), 1);
        for (MacSection s : allSections())
            rig.navigation.select(s);
        // Every control a user can reach has a name a screen reader can say.
        for (QWidget* w : rig.window.findChildren<QWidget*>()) {
            if (w->focusPolicy() == Qt::NoFocus || !w->isVisibleTo(&rig.window))
                continue;
            // Labels name others; a scroll area is only the frame of the named controls it holds.
            // Qt's own parts (a spin box's line edit) are named through their owner.
            if (qobject_cast<QLabel*>(w) || qobject_cast<QScrollArea*>(w) || w->objectName().startsWith("qt_"))
                continue;
            const QString name = w->accessibleName().isEmpty() && qobject_cast<QAbstractButton*>(w)
                                     ? static_cast<QAbstractButton*>(w)->text()
                                     : w->accessibleName();
            QVERIFY2(!name.isEmpty(), qPrintable(QString(w->metaObject()->className()) + " " + w->objectName()));
        }
    }

    void everyControlIsReachableWithTheKeyboard()
    {
        WindowRig rig;
        rig.window.show();
        QApplication::setActiveWindow(&rig.window);
        auto* stack = rig.window.findChild<QStackedWidget*>();
        QVERIFY(stack);
        for (MacSection s : allSections()) {
            rig.navigation.select(s);
            QWidget* page = stack->currentWidget();
            QVERIFY(page);
            // Tab from the sidebar, as a user would, until the focus comes round again: a text
            // editor that took Tab as text would hold the focus for ever.
            auto* sidebar = rig.window.findChild<QListWidget*>();
            sidebar->setFocus();
            QSet<QWidget*> reached;
            for (int i = 0; i < 400; ++i) {
                QWidget* focus = QApplication::focusWidget();
                QVERIFY2(focus, qPrintable(sectionKey(s)));
                reached.insert(focus);
                QTest::keyClick(focus, Qt::Key_Tab);
                if (QApplication::focusWidget() == sidebar)
                    break;
            }
            for (QWidget* w : page->findChildren<QWidget*>()) {
                const bool control = qobject_cast<QAbstractButton*>(w) || qobject_cast<QLineEdit*>(w) ||
                                     qobject_cast<QComboBox*>(w) || qobject_cast<QAbstractItemView*>(w) ||
                                     qobject_cast<QPlainTextEdit*>(w) || qobject_cast<QAbstractSlider*>(w) ||
                                     qobject_cast<QAbstractSpinBox*>(w);
                if (!control || !w->isVisible() || !w->isEnabled() || w->objectName().startsWith("qt_") ||
                    qobject_cast<QScrollBar*>(w) || qobject_cast<QHeaderView*>(w))
                    continue;
                const bool viaProxy = w->focusProxy() && reached.contains(w->focusProxy());
                QVERIFY2(reached.contains(w) || viaProxy,
                         qPrintable(sectionKey(s) + ": " + w->metaObject()->className() + " « " +
                                    w->accessibleName() + " » cannot be reached with Tab"));
            }
        }
    }
};

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
