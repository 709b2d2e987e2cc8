// The dictionary and prompts sections against the store: what a save writes, versions of a
// prompt, the trash, and the prompts published for the keyboard companion.
#include "SectionRig.h"
#include "ui/sections/DictionarySection.h"
#include "ui/sections/PromptsSection.h"

#include <QCheckBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>

namespace {
QStringList publishedNames(Settings& settings)
{
    QStringList names;
    const QJsonArray a = QJsonDocument::fromJson(settings.value(QStringLiteral("mirelo.kb.pinnedPresets")).toByteArray()).array();
    for (const auto& v : a)
        names << v.toObject().value(QStringLiteral("name")).toString();
    return names;
}
} // namespace

class TestVocabularySections : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void dictionaryEntry()
    {
        SectionRig rig;
        DictionarySection section(*rig.context);
        // A new entry starts with the record's defaults: speech hint and AI vocabulary.
        QVERIFY(section.scopeBox(DictionaryScopes::transcription)->isChecked());
        QVERIFY(!section.scopeBox(DictionaryScopes::replacement)->isChecked());
        QCOMPARE(section.save(), std::optional<QString>(QStringLiteral("Le terme ne peut pas être vide.")));
        QCOMPARE(rig.store().count<DictionaryEntry>(), 0);

        section.termEdit()->setText(QStringLiteral("  Ovra "));
        section.pronunciationsEdit()->setText(QStringLiteral(" au vrat ,, ovrah "));
        section.replacementEdit()->setText(QStringLiteral("   "));
        section.scopeBox(DictionaryScopes::replacement)->setChecked(true);
        QCOMPARE(section.save(), std::nullopt);
        auto entries = rig.store().fetch<DictionaryEntry>();
        QCOMPARE(entries.size(), 1);
        QCOMPARE(entries[0].term, QStringLiteral("Ovra"));
        QCOMPARE(entries[0].pronunciationsRaw, QStringLiteral("au vrat,ovrah"));
        QCOMPARE(entries[0].replacement, std::nullopt);
        QCOMPARE(entries[0].scopesRaw, 7);
        QCOMPARE(section.selectedID(), std::optional<QUuid>(entries[0].id));

        // Editing keeps the usage the pipeline counted.
        entries[0].usageCount = 4;
        QVERIFY(rig.store().replace(entries[0]));
        section.pinnedBox()->setChecked(true);
        QCOMPARE(section.save(), std::nullopt);
        const auto edited = rig.store().find<DictionaryEntry>(entries[0].id);
        QVERIFY(edited->isPinned);
        QCOMPARE(edited->usageCount, 4);

        section.setFilter(QStringLiteral("vrat"));
        QCOMPARE(section.shownEntries().size(), 1);
        section.setFilter(QStringLiteral("zzz"));
        QCOMPARE(section.shownEntries().size(), 0);
        section.setFilter({});
        section.select(entries[0].id);
        section.deleteSelected();
        QCOMPARE(rig.store().count<DictionaryEntry>(), 0);
        QCOMPARE(rig.store().fetch<DeletionTombstone>().size(), 1);
    }

    void promptVersionsTrashAndPins()
    {
        SectionRig rig;
        PromptsSection section(*rig.context);
        const QUuid id = section.newPrompt();
        section.nameEdit()->setText(QStringLiteral("Courriel"));
        section.promptEdit()->setPlainText(QStringLiteral("Version 1"));
        QCOMPARE(section.save(), std::nullopt);
        section.promptEdit()->setPlainText(QStringLiteral("Version 2"));
        QCOMPARE(section.save(), std::nullopt);
        QCOMPARE(section.save(), std::nullopt); // unchanged: no new version
        QCOMPARE(section.versions().size(), 2);
        QCOMPARE(section.versions()[0].prompt, QStringLiteral("Version 2"));

        // Bringing an old version back is an edit like any other.
        section.takeVersion(1);
        QCOMPARE(section.promptEdit()->toPlainText(), QStringLiteral("Version 1"));
        QCOMPARE(rig.store().find<PromptPreset>(id)->prompt, QStringLiteral("Version 2"));
        QCOMPARE(section.save(), std::nullopt);
        QCOMPARE(rig.store().find<PromptPreset>(id)->prompt, QStringLiteral("Version 1"));
        QCOMPARE(section.versions().size(), 3);

        // An edit in progress survives a change made elsewhere to the same prompt.
        section.promptEdit()->setPlainText(QStringLiteral("En cours"));
        auto elsewhere = *rig.store().find<PromptPreset>(id);
        elsewhere.sortOrder = 9;
        QVERIFY(rig.store().update(elsewhere));
        QCOMPARE(section.promptEdit()->toPlainText(), QStringLiteral("En cours"));
        section.promptEdit()->setPlainText(QStringLiteral("Version 1"));

        section.setPinned(true);
        QCOMPARE(publishedNames(rig.settings()), QStringList{QStringLiteral("Courriel")});

        section.moveToTrash();
        auto trashed = rig.store().find<PromptPreset>(id);
        QVERIFY(trashed->isTrashed && trashed->trashedAt);
        QVERIFY(publishedNames(rig.settings()).isEmpty());
        QVERIFY(section.shownPresets().isEmpty());

        section.setShowTrash(true);
        QCOMPARE(section.shownPresets().size(), 1);
        section.restoreFromTrash();
        QVERIFY(!rig.store().find<PromptPreset>(id)->isTrashed);
        QCOMPARE(publishedNames(rig.settings()), QStringList{QStringLiteral("Courriel")});

        section.setShowTrash(false);
        section.select(id);
        section.moveToTrash();
        section.setShowTrash(true);
        QCOMPARE(section.selectedID(), std::optional<QUuid>(id));
        section.deleteForever();
        QVERIFY(!rig.store().find<PromptPreset>(id));
        QCOMPARE(rig.store().count<PromptVersion>(), 0);
        QCOMPARE(rig.store().fetch<DeletionTombstone>().size(), 1);
    }
};

QTEST_MAIN(TestVocabularySections)
#include "tst_vocabularysections.moc"
