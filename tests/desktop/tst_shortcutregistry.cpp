#include "dictation/ShortcutRegistry.h"
#include "fakes/FakeGlobalKeyboard.h"
#include "store/DebugLog.h"
#include "store/Settings.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class ShortcutRegistryTest : public QObject
{
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Settings> m_settings;
    std::unique_ptr<DebugLog> m_log;

private Q_SLOTS:
    void init()
    {
        m_log.reset();
        m_settings.reset();
        m_dir = std::make_unique<QTemporaryDir>();
        m_settings = std::make_unique<Settings>(m_dir->filePath(QStringLiteral("config")));
        m_log = std::make_unique<DebugLog>(m_dir->path());
    }

    void parse_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("canonical");
        QTest::addColumn<QString>("error");
        QTest::newRow("default") << "alt+super+d" << "alt+super+d" << "";
        QTest::newRow("mac names, any case") << "Option+Command+D" << "alt+super+d" << "";
        QTest::newRow("order and spaces") << " super + ctrl + T " << "ctrl+super+t" << "";
        QTest::newRow("function key alone") << "F9" << "F9" << "";
        QTest::newRow("named keys") << "ctrl+alt+enter" << "ctrl+alt+Return" << "";
        QTest::newRow("punctuation") << "ctrl+," << "ctrl+comma" << "";
        QTest::newRow("digit") << "shift+super+1" << "shift+super+1" << "";
        QTest::newRow("unknown key") << "alt+super+dd" << "" << "Touche inconnue : « dd ».";
        QTest::newRow("unknown modifier") << "hyper+d" << "" << "Modificateur inconnu : « hyper » (ctrl, shift, alt, super).";
        QTest::newRow("letter alone") << "d" << ""
                                      << "Un raccourci sans modificateur n'est possible qu'avec une touche F1…F35.";
        QTest::newRow("empty") << "  " << "" << "Raccourci vide.";
        QTest::newRow("dangling plus") << "ctrl+" << "" << "Touche inconnue : «  ».";
    }
    void parse()
    {
        QFETCH(QString, text);
        QFETCH(QString, canonical);
        QFETCH(QString, error);
        const auto combo = KeyCombo::parse(text);
        if (error.isEmpty()) {
            QVERIFY2(combo, qPrintable(combo ? QString() : combo.error()));
            QCOMPARE(combo->toString(), canonical);
            QCOMPARE(KeyCombo::parse(combo->toString())->toString(), canonical);
        } else {
            QVERIFY(!combo);
            QCOMPARE(combo.error(), error);
        }
    }

    void bindingsPersistAndOverrideDefaults()
    {
        ShortcutBindings bindings(*m_settings);
        QCOMPARE(bindings.combination(ShortcutName::toggleDictation)->toString(), QStringLiteral("alt+super+d"));
        QCOMPARE(bindings.combination(ShortcutName::transformSelection)->toString(), QStringLiteral("alt+super+t"));
        QVERIFY(!bindings.combination(ShortcutName::pushToTalk));
        const QString mode = ShortcutName::forMode(QUuid::createUuid());
        QVERIFY(!bindings.combination(mode));

        QVERIFY(bindings.set(ShortcutName::pushToTalk, *KeyCombo::parse(QStringLiteral("ctrl+space"))));
        QVERIFY(bindings.set(ShortcutName::transformSelection, std::nullopt));
        QVERIFY(bindings.set(mode, *KeyCombo::parse(QStringLiteral("ctrl+alt+1"))));
        m_settings->sync();
        Settings reread(m_dir->filePath(QStringLiteral("config")));
        ShortcutBindings again(reread);
        QCOMPARE(again.combination(ShortcutName::pushToTalk)->toString(), QStringLiteral("ctrl+space"));
        QVERIFY(!again.combination(ShortcutName::transformSelection));
        QCOMPARE(again.combination(mode)->toString(), QStringLiteral("ctrl+alt+1"));
        QCOMPARE(again.combination(ShortcutName::toggleDictation)->toString(), QStringLiteral("alt+super+d"));
    }

    void bindingsRefuseUnknownNamesAndTakenCombinations()
    {
        ShortcutBindings bindings(*m_settings);
        const auto unknown = bindings.set(QStringLiteral("dictate"), *KeyCombo::parse(QStringLiteral("ctrl+f1")));
        QVERIFY(!unknown);
        QCOMPARE(unknown.error(), QStringLiteral("Raccourci inconnu : dictate"));
        QVERIFY(!bindings.set(QStringLiteral("powerMode-pas-un-uuid"), std::nullopt));
        const auto taken = bindings.set(ShortcutName::pushToTalk, *KeyCombo::parse(QStringLiteral("alt+super+d")));
        QVERIFY(!taken);
        QCOMPARE(taken.error(), QStringLiteral("La combinaison Alt+Super+D sert déjà au raccourci toggleDictation."));
        QVERIFY(!bindings.combination(ShortcutName::pushToTalk));
    }

    void combinationHeldByAnotherProgram()
    {
        FakeGlobalKeyboard keyboard;
        keyboard.takenByOthers = {*KeyCombo::parse(QStringLiteral("alt+super+t"))};
        ShortcutBindings bindings(*m_settings);
        ShortcutRegistry registry(keyboard, bindings, *m_log);
        QSignalSpy unavailable(&registry, &ShortcutRegistry::shortcutUnavailable);
        int toggles = 0;
        registry.onKeyDown(ShortcutName::toggleDictation, [&] { ++toggles; });
        registry.onKeyUp(ShortcutName::transformSelection, [] {});
        registry.onKeyDown(ShortcutName::transformSelection, [] {}); // the same refusal, reported once
        QCOMPARE(unavailable.size(), 1);
        QCOMPARE(unavailable[0][0].toString(), ShortcutName::transformSelection);
        QCOMPARE(unavailable[0][1].toString(),
                 QStringLiteral("Le raccourci Alt+Super+T est déjà pris par un autre programme."));
        QVERIFY(m_log->contents().contains(QStringLiteral(
            "MAC raccourci : transformSelection indisponible — Le raccourci Alt+Super+T est déjà pris par un autre programme.")));
        QVERIFY(!registry.isActive(ShortcutName::transformSelection));
        QVERIFY(registry.isActive(ShortcutName::toggleDictation));
        keyboard.press(QStringLiteral("alt+super+d"), true);
        QCOMPARE(toggles, 1);

        // Rebinding to a free combination brings it back.
        QVERIFY(bindings.set(ShortcutName::transformSelection, *KeyCombo::parse(QStringLiteral("ctrl+alt+t"))));
        registry.rebind(ShortcutName::transformSelection);
        QVERIFY(registry.isActive(ShortcutName::transformSelection));
    }

    // A grab the desktop takes back later (its dialog refused) is reported like a refused one,
    // and rebinding asks again.
    void grabsTakenBackLater()
    {
        FakeGlobalKeyboard keyboard;
        ShortcutBindings bindings(*m_settings);
        auto registry = std::make_unique<ShortcutRegistry>(keyboard, bindings, *m_log);
        QSignalSpy unavailable(registry.get(), &ShortcutRegistry::shortcutUnavailable);
        registry->onKeyDown(ShortcutName::toggleDictation, [] {});
        registry->onKeyUp(ShortcutName::transformSelection, [] {});
        const QString message = QStringLiteral("raccourcis globaux refusés dans la fenêtre du portail");
        keyboard.loseAll(message);
        QCOMPARE(unavailable.size(), 2);
        QCOMPARE(unavailable[0][1].toString(), message);
        QVERIFY(!registry->isActive(ShortcutName::toggleDictation));
        QVERIFY(!registry->isActive(ShortcutName::transformSelection));
        QVERIFY(m_log->contents().contains(QStringLiteral("MAC raccourci : toggleDictation indisponible — ") + message));
        registry->rebind(ShortcutName::toggleDictation);
        QVERIFY(registry->isActive(ShortcutName::toggleDictation));
        registry.reset();
        QVERIFY(!keyboard.lostHandler);
    }

    void rebindMovesTheGrab()
    {
        FakeGlobalKeyboard keyboard;
        ShortcutBindings bindings(*m_settings);
        ShortcutRegistry registry(keyboard, bindings, *m_log);
        int downs = 0, ups = 0;
        registry.onKeyDown(ShortcutName::toggleDictation, [&] { ++downs; });
        registry.onKeyUp(ShortcutName::toggleDictation, [&] { ++ups; });
        QCOMPARE(keyboard.grabs.size(), 1);
        QVERIFY(bindings.set(ShortcutName::toggleDictation, *KeyCombo::parse(QStringLiteral("ctrl+super+space"))));
        registry.rebind(ShortcutName::toggleDictation);
        QCOMPARE(keyboard.grabs.size(), 1);
        keyboard.press(QStringLiteral("alt+super+d"), true);
        keyboard.press(QStringLiteral("ctrl+super+space"), true);
        keyboard.press(QStringLiteral("ctrl+super+space"), false);
        QCOMPARE(downs, 1);
        QCOMPARE(ups, 1);
    }
};

QTEST_GUILESS_MAIN(ShortcutRegistryTest)
#include "tst_shortcutregistry.moc"
