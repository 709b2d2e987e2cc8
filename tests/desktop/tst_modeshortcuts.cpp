// Mode shortcuts follow the store while the program runs: a mode added gets its
// "powerMode-<UUID>" shortcut at once, a deleted one loses it, a changed combination is grabbed
// again — whoever made the change.
#include "dictation/MacPrimaryShortcutHandler.h"
#include "dictation/ModeShortcuts.h"
#include "dictation/ShortcutBindings.h"
#include "dictation/ShortcutRegistry.h"
#include "fakes/FakeDictationControl.h"
#include "fakes/FakeGlobalKeyboard.h"
#include "store/DebugLog.h"
#include "store/RecordStore.h"
#include "store/Settings.h"

#include <QTemporaryDir>
#include <QTest>

class ModeShortcutsTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void followTheModes()
    {
        QTemporaryDir dir;
        auto store = std::move(RecordStore::open(dir.filePath("s.sqlite"), {}).value());
        Settings settings(dir.filePath("config"));
        DebugLog log(dir.path());
        FakeGlobalKeyboard keyboard;
        FakeDictationControl dictation;
        MacPrimaryShortcutHandler handler(settings, log, keyboard,
                                          [&](const QUuid& id) { return store->find<TranscriptionMode>(id); });
        handler.attach(&dictation);
        ShortcutBindings bindings(settings);
        ShortcutRegistry registry(keyboard, bindings, log);

        TranscriptionMode before;
        before.name = "Avant";
        QVERIFY(store->save([&] { return store->insert(before); }));
        QVERIFY(bindings.set(ShortcutName::forMode(before.id), *KeyCombo::parse("ctrl+alt+1")));

        ModeShortcuts shortcuts(*store, settings, handler, registry);
        QVERIFY(!keyboard.isGrabbed("alt+super+d")); // nothing before the wiring
        shortcuts.wire();
        shortcuts.wire(); // once
        QCOMPARE(keyboard.grabs.size(), 3);
        QVERIFY(keyboard.isGrabbed("alt+super+d") && keyboard.isGrabbed("alt+super+t") &&
                keyboard.isGrabbed("ctrl+alt+1"));

        // Added elsewhere, with a combination chosen before the mode reached this process.
        TranscriptionMode added;
        added.name = "Ajouté";
        QVERIFY(bindings.set(ShortcutName::forMode(added.id), *KeyCombo::parse("ctrl+alt+2")));
        QVERIFY(store->save([&] { return store->insert(added); }));
        QVERIFY(keyboard.isGrabbed("ctrl+alt+2"));
        QVERIFY(handler.registeredModes().contains(added.id));

        // Renamed: same shortcut.
        added.name = "Renommé";
        QVERIFY(store->save([&] { return store->update(added); }));
        QVERIFY(keyboard.isGrabbed("ctrl+alt+2"));
        keyboard.press("ctrl+alt+2", true);
        QTRY_VERIFY(dictation.calls.contains("mode:Renommé"));

        // A new combination for a mode is grabbed in place of the old one.
        QVERIFY(bindings.set(ShortcutName::forMode(added.id), *KeyCombo::parse("ctrl+alt+3")));
        QVERIFY(keyboard.isGrabbed("ctrl+alt+3"));
        QVERIFY(!keyboard.isGrabbed("ctrl+alt+2"));

        // Deleted: the keys go back to the desktop.
        QVERIFY(store->save([&] { return store->remove<TranscriptionMode>(before.id); }));
        QVERIFY(!keyboard.isGrabbed("ctrl+alt+1"));
        QVERIFY(!handler.registeredModes().contains(before.id));
        QVERIFY(keyboard.isGrabbed("alt+super+d") && keyboard.isGrabbed("ctrl+alt+3"));
        QCOMPARE(keyboard.grabs.size(), 3);
        handler.attach(nullptr);
        dictation.release();
    }
};

QTEST_GUILESS_MAIN(ModeShortcutsTest)
#include "tst_modeshortcuts.moc"
