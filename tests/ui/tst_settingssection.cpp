// The settings section writes each choice under its key at once; API keys go to the secret
// store and "Tester les clés" reports each provider's answer.
#include "SectionRig.h"
#include "dictation/FakeAudioCapture.h"
#include "fakes/LocalHttpServer.h"
#include "store/AppSettingsKeys.h"
#include "ui/sections/APIKeysPane.h"
#include "ui/sections/SettingsSection.h"
#include "ui/widgets/ShortcutRecorder.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QSpinBox>
#include <QPushButton>
#include <QTest>

using Action = std::function<void(SettingsSection&)>;
Q_DECLARE_METATYPE(Action)

namespace {
void pick(QComboBox* box, const QString& data) { box->setCurrentIndex(box->findData(data)); }
} // namespace

class TestSettingsSection : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void writesItsKey_data()
    {
        QTest::addColumn<Action>("action");
        QTest::addColumn<QString>("key"); // "map/entry" reads one entry of a map value
        QTest::addColumn<QVariant>("expected");

        QTest::newRow("panel at the top") << Action([](SettingsSection& s) { pick(s.panelStyleBox(), "notch"); })
                                          << "ovra.mac.hudStyle" << QVariant("notch");
        QTest::newRow("sounds off") << Action([](SettingsSection& s) { s.soundsBox()->setChecked(false); })
                                    << "ovra.mac.sounds" << QVariant(false);
        QTest::newRow("media keeps playing") << Action([](SettingsSection& s) { s.pauseMediaBox()->setChecked(false); })
                                             << "ovra.mac.pauseMedia" << QVariant(false);
        QTest::newRow("push to talk") << Action([](SettingsSection& s) { pick(s.primaryModeBox(), "pushToTalk"); })
                                      << "ovra.mac.primaryShortcutMode" << QVariant("pushToTalk");
        QTest::newRow("dictation retention") << Action([](SettingsSection& s) { s.dictationRetentionBox()->setValue(30); })
                                             << "mirelo.retention.days" << QVariant(30);
        QTest::newRow("note retention") << Action([](SettingsSection& s) { s.noteRetentionBox()->setValue(365); })
                                        << "mirelo.retention.notes.days" << QVariant(365);
        QTest::newRow("recordings kept") << Action([](SettingsSection& s) { s.audioCountBox()->setValue(5); })
                                         << "mirelo.retention.audioCount" << QVariant(5);
        QTest::newRow("microphone") << Action([](SettingsSection& s) { pick(s.microphoneBox(), "usb-mic"); })
                                    << "ovra.mac.inputDeviceID" << QVariant("usb-mic");
        QTest::newRow("default microphone") << Action([](SettingsSection& s) {
            pick(s.microphoneBox(), "usb-mic");
            pick(s.microphoneBox(), "");
        }) << "ovra.mac.inputDeviceID" << QVariant();
        QTest::newRow("global provider") << Action([](SettingsSection& s) { pick(s.aiProviderBox(std::nullopt), "openai"); })
                                         << "mirelo.ai.providerRaw" << QVariant("openai");
        QTest::newRow("global model follows provider")
            << Action([](SettingsSection& s) { pick(s.aiProviderBox(std::nullopt), "openai"); }) << "mirelo.ai.model"
            << QVariant("gpt-5.4-mini");
        QTest::newRow("feature model") << Action([](SettingsSection& s) {
            pick(s.aiProviderBox(AIFeature::notes), "gemini");
            pick(s.aiModelBox(AIFeature::notes), "gemini-2.5-pro");
        }) << "mirelo.ai.notes.model" << QVariant("gemini-2.5-pro");
        QTest::newRow("feature back to global") << Action([](SettingsSection& s) {
            pick(s.aiProviderBox(AIFeature::learning), "groq");
            pick(s.aiProviderBox(AIFeature::learning), "");
        }) << "mirelo.ai.learning.providerRaw" << QVariant();
        QTest::newRow("dictation shortcut") << Action([](SettingsSection& s) {
            s.setShortcut(ShortcutName::toggleDictation, KeyCombo{"F9", 0});
        }) << "ovra.mac.shortcuts/toggleDictation" << QVariant("F9");
        QTest::newRow("shortcut removed") << Action([](SettingsSection& s) {
            s.setShortcut(ShortcutName::transformSelection, std::nullopt);
        }) << "ovra.mac.shortcuts/transformSelection" << QVariant("");
        QTest::newRow("taken shortcut refused") << Action([](SettingsSection& s) {
            s.setShortcut(ShortcutName::pushToTalk, KeyCombo{"d", KeyCombo::alt | KeyCombo::super});
        }) << "ovra.mac.shortcuts/pushToTalk" << QVariant();
    }
    void writesItsKey()
    {
        QFETCH(Action, action);
        QFETCH(QString, key);
        QFETCH(QVariant, expected);
        SectionRig rig;
        FakeAudioCapture capture;
        capture.list = {{QStringLiteral("usb-mic"), QStringLiteral("Micro USB"), false},
                        {QStringLiteral("built-in"), QStringLiteral("Micro intégré"), true}};
        rig.context->audioCapture = &capture;
        SettingsSection section(*rig.context);
        section.activated();
        action(section);
        const QStringList path = key.split(QLatin1Char('/'));
        QVariant got = rig.settings().value(path[0]);
        if (path.size() > 1)
            got = got.toMap().value(path[1]);
        if (!expected.isValid())
            QVERIFY2(!got.isValid(), qPrintable(got.toString()));
        else
            QCOMPARE(got.toString(), expected.toString());
    }

    void readsWhatIsStored()
    {
        SectionRig rig;
        rig.settings().setValue(AppSettingsKey::hudStyle, QStringLiteral("notch"));
        rig.settings().setValue(AppSettingsKey::sounds, false);
        rig.settings().setValue(AppSettingsKey::primaryShortcutMode, QStringLiteral("hybrid"));
        rig.settings().setValue(SharedDefaultsKey::dictationRetentionDays, 14);
        rig.settings().setValue(SharedDefaultsKey::aiPostProcessProviderRaw, QStringLiteral("not-a-provider"));
        rig.settings().setValue(AppSettingsKey::inputDeviceID, QStringLiteral("unplugged"));
        SettingsSection section(*rig.context); // no capture: the list says so
        section.activated();
        QCOMPARE(section.panelStyleBox()->currentData().toString(), QStringLiteral("notch"));
        QVERIFY(!section.soundsBox()->isChecked());
        QVERIFY(section.pauseMediaBox()->isChecked());
        QCOMPARE(section.primaryModeBox()->currentData().toString(), QStringLiteral("hybrid"));
        QCOMPARE(section.dictationRetentionBox()->value(), 14);
        QCOMPARE(section.aiProviderBox(AIFeature::postprocess)->currentData().toString(), QString());
        // An absent microphone stays the chosen one.
        QCOMPARE(section.microphoneBox()->currentData().toString(), QStringLiteral("unplugged"));
        QCOMPARE(rig.settings().value(AppSettingsKey::inputDeviceID).toString(), QStringLiteral("unplugged"));
        QVERIFY(!section.launchAtLoginBox()->isEnabled());
        QCOMPARE(section.recorder(ShortcutName::toggleDictation)->combo(),
                 ShortcutBindings::defaultCombination(ShortcutName::toggleDictation));
    }

    // The lines to paste into sway's configuration follow the shortcuts as the user sets them;
    // beside them, what the session serves each concern with.
    void compositorBindings()
    {
        SectionRig rig;
        rig.context->sessionDescription = QStringLiteral("Wayland (bureau sway) ; collage : clavier virtuel");
        SettingsSection section(*rig.context);
        section.activated();
        QCOMPARE(section.sessionView()->text(), rig.context->sessionDescription);
        QCOMPARE(section.compositorBindingsView()->toPlainText().split(QLatin1Char('\n')),
                 (QStringList{"bindsym Mod1+Mod4+d exec ovra toggle", "bindsym $mod+Mod1+space exec ovra ptt press",
                              "bindsym --release $mod+Mod1+space exec ovra ptt release",
                              "bindsym Mod1+Mod4+t exec ovra transform"}));
        section.setShortcut(ShortcutName::pushToTalk, KeyCombo{"F9", KeyCombo::control | KeyCombo::shift});
        section.setShortcut(ShortcutName::transformSelection, std::nullopt);
        QCOMPARE(section.compositorBindingsView()->toPlainText().split(QLatin1Char('\n')),
                 (QStringList{"bindsym Mod1+Mod4+d exec ovra toggle", "bindsym Ctrl+Shift+F9 exec ovra ptt press",
                              "bindsym --release Ctrl+Shift+F9 exec ovra ptt release",
                              "bindsym $mod+Mod1+t exec ovra transform"}));
    }

    // The desktop's own shortcut dialog is offered only where the desktop owns the keys.
    void desktopShortcutsButton()
    {
        SectionRig rig;
        {
            SettingsSection section(*rig.context);
            QVERIFY(section.desktopShortcutsButton()->isHidden());
        }
        int opened = 0;
        rig.context->configureDesktopShortcuts = [&opened] { ++opened; };
        SettingsSection section(*rig.context);
        QPushButton* button = section.desktopShortcutsButton();
        QVERIFY(!button->isHidden());
        QCOMPARE(button->text(), QStringLiteral("Modifier dans les réglages du bureau…"));
        button->click();
        QCOMPARE(opened, 1);
    }

    void apiKeys()
    {
        LocalHttpServer groq;
        groq.setDefaultReply(LocalHttpServer::Reply::json(401, R"({"error":{"message":"bad"}})"));
        qputenv("OVRA_GROQ_BASE_URL", groq.url().toUtf8());
        SectionRig rig;
        SettingsSection section(*rig.context);
        APIKeysPane& keys = section.keys();
        QCOMPARE(keys.saveKey(QStringLiteral("groq"), QStringLiteral("   ")),
                 std::optional<QString>(QStringLiteral("Collez d'abord la clé.")));
        QCOMPARE(keys.saveKey(QStringLiteral("groq"), QStringLiteral("  gsk_test \n")), std::nullopt);
        QCOMPARE(rig.services->vault().apiKey(KeychainKey::groqAPIKey), std::optional<QString>("gsk_test"));

        QSignalSpy done(&keys, &APIKeysPane::verificationFinished);
        keys.verifyAll();
        QVERIFY(done.count() == 1 || done.wait(20000));
        QCOMPARE(keys.resultText(QStringLiteral("groq")), QStringLiteral("Groq rejected this key"));
        QCOMPARE(keys.resultText(QStringLiteral("openai")), QStringLiteral("Aucune clé enregistrée."));
        QCOMPARE(groq.requests.size(), 1);
        QCOMPARE(groq.requests[0].header("Authorization"), QByteArray("Bearer gsk_test"));
        qunsetenv("OVRA_GROQ_BASE_URL");
    }

    void journalAndLaunchAtLogin()
    {
        SectionRig rig;
        bool enabled = false;
        rig.context->launchAtLoginEnabled = [&] { return enabled; };
        rig.context->setLaunchAtLogin = [&](bool on) -> Expected<void, QString> {
            if (on && qEnvironmentVariableIsSet("NO_AUTOSTART_FOLDER"))
                return unexpected(QStringLiteral("Dossier d'autostart inaccessible."));
            enabled = on;
            return {};
        };
        rig.services->log().log(QStringLiteral("APP test: une ligne"));
        SettingsSection section(*rig.context);
        section.refreshJournal();
        QVERIFY(section.journalView()->toPlainText().contains(QStringLiteral("APP test: une ligne")));
        section.copyJournal();
        QVERIFY(rig.pasteboard.text()->contains(QStringLiteral("APP test: une ligne")));
        section.clearJournal();
        QCOMPARE(rig.services->log().contents(), QString());

        QVERIFY(section.launchAtLoginBox()->isEnabled());
        section.launchAtLoginBox()->setChecked(true);
        QVERIFY(enabled);
        section.launchAtLoginBox()->setChecked(false);
        qputenv("NO_AUTOSTART_FOLDER", "1");
        section.launchAtLoginBox()->setChecked(true);
        qunsetenv("NO_AUTOSTART_FOLDER");
        QVERIFY(!enabled);
        QVERIFY(!section.launchAtLoginBox()->isChecked());
        QCOMPARE(section.launchStatus(), QStringLiteral("Dossier d'autostart inaccessible."));
    }
};

QTEST_MAIN(TestSettingsSection)
#include "tst_settingssection.moc"
