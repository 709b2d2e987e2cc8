// The tray menu as a user reads it: items top to bottom, labels, enabling per dictation state,
// recent dictations, modes, prompts and the automatic per-application switch; the tray icon.
#include "UiRig.h"
#include "store/AppSettingsKeys.h"
#include "ui/AppIcons.h"
#include "ui/DictationActions.h"
#include "ui/TrayItem.h"
#include "ui/TrayMenu.h"

#include <QAction>
#include <QApplication>
#include <QTest>

Q_DECLARE_METATYPE(RecordingState)

namespace {
// Labels as shown, separators as "---", submenus as "Name >".
QStringList labels(QMenu* menu)
{
    QStringList out;
    for (QAction* a : menu->actions())
        out << (a->isSeparator() ? QStringLiteral("---") : a->text() + (a->menu() ? QStringLiteral(" >") : QString()));
    return out;
}

QAction* find(QMenu* menu, const QString& text)
{
    for (QAction* a : menu->actions())
        if (a->text() == text)
            return a;
    return nullptr;
}

struct TrayRig : UiRig
{
    QAction updates{QStringLiteral("Rechercher les mises à jour…")};
    TrayMenu tray{TrayMenu::Dependencies{controller, *store, settings, pasteboard, updates}};
    QMenu* menu() { return tray.menu(); }
    QMenu* sub(const QString& title) { return find(menu(), title)->menu(); }
};
} // namespace

class TrayMenuTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void itemsTopToBottom()
    {
        TrayRig rig;
        rig.updates.setEnabled(false);
        QCOMPARE(labels(rig.menu()),
                 QStringList({"Mode actif : Normal", "Dicter", "Annuler la dictée", "Copier la dernière dictée",
                              "Réessayer la dernière dictée", "Dictées récentes >", "---", "Mode >", "Transformer la sélection >",
                              "Power Mode automatique", "---", "Ouvrir Ovra", "Réglages…",
                              "Rechercher les mises à jour…", "---", "Quitter Ovra"}));
        // Nothing dictated yet: nothing to copy or retry, no recent dictation; no feed: no update check.
        QVERIFY(!find(rig.menu(), "Réessayer la dernière dictée")->isVisible());
        QVERIFY(!find(rig.menu(), "Mode actif : Normal")->isEnabled());
        QVERIFY(!find(rig.menu(), "Copier la dernière dictée")->isEnabled());
        QVERIFY(rig.sub("Dictées récentes")->actions().isEmpty());
        QVERIFY(!find(rig.menu(), "Rechercher les mises à jour…")->isEnabled());
        find(rig.menu(), "Copier la dernière dictée")->trigger();
        QCOMPARE(rig.pasteboard.writes, 0);
    }

    void toggleFollowsTheState_data()
    {
        QTest::addColumn<RecordingState>("state");
        QTest::addColumn<QString>("label");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("idle") << RecordingState::idle << "Dicter" << true;
        QTest::newRow("recording") << RecordingState::recording << "Arrêter la dictée" << true;
        QTest::newRow("transcribing") << RecordingState::transcribing << "Dicter" << false;
        QTest::newRow("enhancing") << RecordingState::enhancing << "Dicter" << false;
        QTest::newRow("finished") << RecordingState::finished << "Dicter" << true;
    }
    void toggleFollowsTheState()
    {
        QFETCH(RecordingState, state);
        QFETCH(QString, label);
        QFETCH(bool, enabled);
        QCOMPARE(DictationActions::toggleText(state), label);
        QCOMPARE(DictationActions::toggleEnabled(state), enabled);
    }

    void dictationThroughTheMenu()
    {
        TrayRig rig;
        rig.addMode("Normal", 0);
        QAction* toggle = rig.menu()->actions().at(1);
        QAction* cancel = find(rig.menu(), "Annuler la dictée");
        QVERIFY(!cancel->isEnabled());
        toggle->trigger();
        QTRY_COMPARE(rig.controller.state(), RecordingState::recording);
        // A start from the tray pastes at the cursor and shows the panel, like the shortcut.
        QCOMPARE(rig.controller.currentTrigger(), DictationTrigger::hotkey);
        QCOMPARE(toggle->text(), QStringLiteral("Arrêter la dictée"));
        QVERIFY(cancel->isEnabled());
        toggle->trigger();
        QTRY_COMPARE(rig.controller.state(), RecordingState::finished);
        QCOMPARE(toggle->text(), QStringLiteral("Dicter"));
        QCOMPARE(rig.delivery.pasted, QStringList{"texte brut"});

        QAction* copy = find(rig.menu(), "Copier la dernière dictée");
        QVERIFY(copy->isEnabled());
        copy->trigger();
        QCOMPARE(rig.pasteboard.text(), QStringLiteral("texte brut"));
        // The stored dictation shows up in the recent ones at once.
        QCOMPARE(labels(rig.sub("Dictées récentes")), QStringList{"texte brut"});
    }

    void aFailedDictationIsRetriedFromTheMenu()
    {
        TrayRig rig;
        rig.addMode("Normal", 0);
        rig.transcriber.results.push_back(unexpected(TranscriptionError::fromAPI(APIError::serverError(500))));
        rig.startRecording();
        awaitTask(rig.controller.stop());
        QAction* retry = find(rig.menu(), "Réessayer la dernière dictée");
        QTRY_VERIFY(retry->isVisible());
        QVERIFY(retry->isEnabled());
        QCOMPARE(rig.store->count<Transcription>(), 0);
        retry->trigger();
        QTRY_COMPARE(rig.store->count<Transcription>(), 1);
        QVERIFY(!retry->isVisible());
        QVERIFY(rig.failed.list().isEmpty());
    }

    void fiveRecentDictationsNewestFirst()
    {
        TrayRig rig;
        for (int i = 1; i <= 7; ++i)
            rig.addDictation(QStringLiteral("dictée %1").arg(i), 100 - i);
        rig.addDictation(QStringLiteral("une dictée très longue ").repeated(10) + "fin", 500);
        rig.addDictation("avec & esperluette\net retour", 1);
        QMenu* recent = rig.sub("Dictées récentes");
        QCOMPARE(labels(recent),
                 QStringList({"avec && esperluette et retour", "dictée 7", "dictée 6", "dictée 5", "dictée 4"}));
        recent->actions().at(0)->trigger();
        QCOMPARE(rig.pasteboard.text(), QStringLiteral("avec & esperluette\net retour"));
    }

    void modesWithTheActiveOneChecked()
    {
        TrayRig rig;
        rig.addMode("Courriel", 1);
        const TranscriptionMode first = rig.addMode("Normal", 0);
        const TranscriptionMode code = rig.addMode("Code", 2);
        QMenu* modes = rig.sub("Mode");
        QCOMPARE(labels(modes), QStringList({"Normal", "Courriel", "Code"}));
        // No choice yet: the controller uses the first mode.
        QVERIFY(modes->actions().at(0)->isChecked());
        QCOMPARE(rig.menu()->actions().at(0)->text(), QStringLiteral("Mode actif : Normal"));
        modes->actions().at(2)->trigger();
        QCOMPARE(rig.controller.activeModeID(), std::optional<QUuid>(code.id));
        modes = rig.sub("Mode");
        QVERIFY(modes->actions().at(2)->isChecked() && !modes->actions().at(0)->isChecked());
        QCOMPARE(rig.menu()->actions().at(0)->text(), QStringLiteral("Mode actif : Code"));

        // Renamed and deleted elsewhere: the menu follows the store.
        TranscriptionMode renamed = code;
        renamed.name = "Programmation";
        QVERIFY(rig.store->save([&] { return rig.store->update(renamed); }));
        QCOMPARE(rig.menu()->actions().at(0)->text(), QStringLiteral("Mode actif : Programmation"));
        QVERIFY(rig.store->save([&] { return rig.store->remove<TranscriptionMode>(code.id); }));
        QCOMPARE(labels(rig.sub("Mode")), QStringList({"Normal", "Courriel"}));
        QCOMPARE(rig.menu()->actions().at(0)->text(), QStringLiteral("Mode actif : Normal"));
        Q_UNUSED(first);
    }

    void promptsTransformTheSelection()
    {
        TrayRig rig;
        QVERIFY(!find(rig.menu(), "Transformer la sélection")->isEnabled());
        rig.addPrompt("Anglais", "Traduis en anglais.", 1);
        rig.addPrompt("Résumé", "Résume en une phrase.", 0);
        QMenu* prompts = rig.sub("Transformer la sélection");
        QCOMPARE(labels(prompts), QStringList({"Résumé", "Anglais"}));
        rig.delivery.selection = "un long texte";
        prompts->actions().at(1)->trigger();
        QTRY_COMPARE(rig.chat.calls.size(), 1);
        QString sent = rig.chat.calls.first().system.value_or(QString());
        for (const ChatMessage& m : rig.chat.calls.first().messages)
            sent += m.content;
        QVERIFY(sent.contains("Traduis en anglais."));
        QVERIFY(sent.contains("un long texte"));
    }

    void powerModeIsBoundToItsSetting()
    {
        TrayRig rig;
        QAction* power = find(rig.menu(), "Power Mode automatique");
        QVERIFY(power->isCheckable());
        QVERIFY(power->isChecked()); // on unless turned off
        power->trigger();
        QCOMPARE(rig.settings.value(AppSettingsKey::powerModeEnabled), QVariant(false));
        rig.settings.setValue(AppSettingsKey::powerModeEnabled, true);
        QVERIFY(power->isChecked());
    }

    void trayIconSwitchesForExactlyTheRecordingState()
    {
        TrayRig rig;
        rig.addMode("Normal", 0);
        TrayItem item(rig.controller, rig.tray);
        QCOMPARE(item.iconName(), QStringLiteral("audio-input-microphone"));
        QVERIFY(!item.icon().icon().isNull());
        rig.startRecording();
        QCOMPARE(item.iconName(), QStringLiteral("media-record"));
        QVERIFY(!item.icon().icon().isNull());
        rig.controller.cancel();
        QCOMPARE(item.iconName(), QStringLiteral("audio-input-microphone"));
        QVERIFY(item.icon().contextMenu() == rig.menu());
    }
};

QTEST_MAIN(TrayMenuTest)
#include "tst_traymenu.moc"
