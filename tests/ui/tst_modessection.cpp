// The modes section: every field of a mode survives the form, edits reach the store, and the
// shortcut and per-application rules of a mode follow it.
#include "SectionRig.h"
#include "store/AppSettingsKeys.h"
#include "store/RecordFields.h"
#include "ui/sections/ModesSection.h"
#include "ui/widgets/ShortcutRecorder.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QTest>

namespace {
// Field by field, so a failure names the field the form lost.
void compareModes(const TranscriptionMode& got, const TranscriptionMode& want)
{
    for (const auto& f : RecordSchema<TranscriptionMode>::fields())
        QVERIFY2(f.get(got) == f.get(want), f.name);
}

void pick(QComboBox* box, const QString& data)
{
    const int index = box->findData(data);
    QVERIFY2(index >= 0, qPrintable(data));
    box->setCurrentIndex(index);
}
} // namespace

class TestModesSection : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void everyFieldSurvivesTheForm_data()
    {
        QTest::addColumn<bool>("customised");
        QTest::newRow("defaults") << false;
        QTest::newRow("every field set") << true;
    }
    void everyFieldSurvivesTheForm()
    {
        QFETCH(bool, customised);
        SectionRig rig;
        PromptPreset preset;
        preset.name = QStringLiteral("Courriel");
        preset.prompt = QStringLiteral("Écris un courriel.");
        QVERIFY(rig.store().insert(preset));
        TranscriptionMode m;
        if (customised) {
            m.name = QStringLiteral("Courriel");
            m.icon = QStringLiteral("envelope");
            m.iconForegroundColorRaw = QStringLiteral("blue");
            m.iconBackgroundColorRaw = QStringLiteral("a-colour-of-another-version");
            m.transcriptionProviderRaw = QStringLiteral("openai");
            m.transcriptionModel = QStringLiteral("gpt-4o-mini-transcribe");
            m.enableAIEnhancement = true;
            m.aiProviderRaw = QStringLiteral("gemini");
            m.aiModel = QStringLiteral("gemini-2.5-pro");
            m.aiOverrideProviderRaw = QStringLiteral("groq");
            m.aiOverrideModel = QStringLiteral("openai/gpt-oss-20b");
            m.promptTemplate = QStringLiteral("Écris un courriel.\nPoli.");
            m.promptPresetID = preset.id;
            m.language = QStringLiteral("sv"); // not in the list: kept as it is
            m.trimSilence = true;
            m.nemotronChunkMs = 560;
            m.liveTranscription = true;
            m.sortOrder = 7;
        }
        QVERIFY(rig.store().insert(m));
        ModesSection section(*rig.context);
        QCOMPARE(section.selectedID(), std::optional<QUuid>(m.id));
        QVERIFY(!section.isDirty());
        compareModes(*section.editedMode(), m);
    }

    void editsReachTheStore()
    {
        SectionRig rig;
        TranscriptionMode m;
        QVERIFY(rig.store().insert(m));
        ModesSection section(*rig.context);

        section.nameEdit()->setText(QStringLiteral("Notes de réunion"));
        pick(section.providerBox(), QStringLiteral("openai"));
        QCOMPARE(section.transcriptionModelBox()->currentData().toString(), QStringLiteral("gpt-4o-transcribe"));
        pick(section.languageBox(), QStringLiteral("fr"));
        section.aiBox()->setChecked(true);
        pick(section.aiProviderBox(), QStringLiteral("openai"));
        pick(section.aiModelBox(), QStringLiteral("gpt-5.4-nano"));
        section.promptEdit()->setPlainText(QStringLiteral("Fais une liste."));
        section.chunkBox()->setValue(320);
        section.trimBox()->setChecked(true);
        QVERIFY(section.isDirty());
        QCOMPARE(section.save(), std::nullopt);

        const auto stored = rig.store().find<TranscriptionMode>(m.id);
        QCOMPARE(stored->name, QStringLiteral("Notes de réunion"));
        QCOMPARE(stored->transcriptionProviderRaw, QStringLiteral("openai"));
        QCOMPARE(stored->transcriptionModel, QStringLiteral("gpt-4o-transcribe"));
        QCOMPARE(stored->language, QStringLiteral("fr"));
        QVERIFY(stored->enableAIEnhancement);
        QCOMPARE(stored->aiProviderRaw, QStringLiteral("openai"));
        QCOMPARE(stored->aiModel, QStringLiteral("gpt-5.4-nano"));
        QCOMPARE(stored->aiOverrideProviderRaw, std::nullopt);
        QCOMPARE(stored->promptTemplate, QStringLiteral("Fais une liste."));
        QCOMPARE(stored->nemotronChunkMs, std::optional<int>(320));
        QVERIFY(stored->trimSilence);
        QVERIFY(stored->updatedAt > m.updatedAt || stored->lastEditedDeviceID != m.lastEditedDeviceID);
        QVERIFY(!section.isDirty());

        // A mode without a name is refused and the store keeps the last good one.
        section.nameEdit()->setText(QStringLiteral("   "));
        QCOMPARE(section.save(), std::optional<QString>(QStringLiteral("Le nom du mode ne peut pas être vide.")));
        QCOMPARE(rig.store().find<TranscriptionMode>(m.id)->name, QStringLiteral("Notes de réunion"));
        section.revert();
        QCOMPARE(section.nameEdit()->text(), QStringLiteral("Notes de réunion"));
    }

    void orderAddAndDelete()
    {
        SectionRig rig;
        ModesSection section(*rig.context);
        QCOMPARE(section.modes().size(), 0);
        const QUuid a = section.addMode();
        const QUuid b = section.addMode();
        QCOMPARE(section.selectedID(), std::optional<QUuid>(b));
        section.moveSelected(-1);
        QCOMPARE(section.modes().first().id, b);
        QCOMPARE(section.modes().last().id, a);

        // Its shortcut and rules go with the deleted mode; a tombstone stays for sync.
        KeyCombo combo{QStringLiteral("m"), KeyCombo::control | KeyCombo::alt};
        section.setShortcut(combo);
        QCOMPARE(rig.shortcuts->combination(ShortcutName::forMode(b)), std::optional<KeyCombo>(combo));
        section.setApplications({QStringLiteral("org.gnome.Terminal")});
        section.setAddresses({QStringLiteral("mail.example.com")});
        section.setAutoSend(true);
        QCOMPARE(rig.appModes->modeForApp(QStringLiteral("org.gnome.Terminal")), std::optional<QUuid>(b));
        QVERIFY(rig.appModes->autoSendModeIDs().contains(uuidText(b)));

        section.deleteSelected();
        QVERIFY(!rig.store().find<TranscriptionMode>(b));
        QCOMPARE(rig.store().fetch<DeletionTombstone>().size(), 1);
        QCOMPARE(rig.shortcuts->combination(ShortcutName::forMode(b)), std::nullopt);
        QCOMPARE(rig.appModes->modeForApp(QStringLiteral("org.gnome.Terminal")), std::nullopt);
        QVERIFY(rig.appModes->urlFragmentsOf(b).isEmpty());
        QVERIFY(!rig.appModes->autoSendModeIDs().contains(uuidText(b)));
        QCOMPARE(section.selectedID(), std::optional<QUuid>(a));
    }

    void takenShortcutIsRefused()
    {
        SectionRig rig;
        ModesSection section(*rig.context);
        const QUuid id = section.addMode();
        // Alt+Super+D is the dictation shortcut by default.
        section.setShortcut(KeyCombo{QStringLiteral("d"), KeyCombo::alt | KeyCombo::super});
        QCOMPARE(rig.shortcuts->combination(ShortcutName::forMode(id)), std::nullopt);
        QVERIFY(section.shortcutRecorder()->error().contains(QStringLiteral("toggleDictation")));
        QCOMPARE(section.shortcutRecorder()->combo(), std::nullopt);
    }

    void followsChangesFromElsewhere()
    {
        SectionRig rig;
        TranscriptionMode m;
        QVERIFY(rig.store().insert(m));
        ModesSection section(*rig.context);
        m.name = QStringLiteral("Renommé ailleurs");
        QVERIFY(rig.store().update(m));
        QCOMPARE(section.nameEdit()->text(), QStringLiteral("Renommé ailleurs"));
        // An edit in progress is not overwritten.
        section.nameEdit()->clear();
        QTest::keyClicks(section.nameEdit(), QStringLiteral("Mon edition"));
        QVERIFY(section.isDirty());
        m.name = QStringLiteral("Encore ailleurs");
        QVERIFY(rig.store().update(m));
        QCOMPARE(section.nameEdit()->text(), QStringLiteral("Mon edition"));
    }
};

QTEST_MAIN(TestModesSection)
#include "tst_modessection.moc"
