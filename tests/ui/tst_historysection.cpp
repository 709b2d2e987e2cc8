// The history section over a real store: paging of the list, search as you type, and the
// actions of the detail pane reaching the store.
#include "SectionRig.h"
#include "network/Pricing.h"
#include "ui/sections/HistoryListModel.h"
#include "ui/sections/HistorySection.h"
#include "ui/widgets/ProposalDiffView.h"

#include <QComboBox>
#include <QSignalSpy>
#include <QTest>

class TestHistorySection : public QObject
{
    Q_OBJECT
private:
    static Transcription dictation(const QString& text, int minutesAgo, const QString& mode = QStringLiteral("Normal"))
    {
        Transcription t;
        t.text = text;
        t.rawWhisperText = text;
        t.modeName = mode;
        t.createdAt = QDateTime::currentDateTimeUtc().addSecs(-60 * minutesAgo);
        return t;
    }

private Q_SLOTS:
    void pagesNewestFirst()
    {
        SectionRig rig;
        (void)rig.store().save([&]() -> StoreResult {
            for (int i = 0; i < 250; ++i)
                (void)rig.store().insert(dictation(QStringLiteral("dictée %1").arg(i), i));
            return {};
        });
        HistoryListModel model(rig.store());
        QCOMPARE(model.rowCount(), HistoryListModel::kPageSize);
        // Only the first page is read, yet the count is the whole history's.
        QCOMPARE(model.matchCount(), 250);
        QCOMPARE(model.at(0)->text, QStringLiteral("dictée 0"));
        QCOMPARE(model.at(99)->text, QStringLiteral("dictée 99"));
        QVERIFY(!model.at(100));
        QVERIFY(model.canFetchMore({}));
        model.fetchMore({});
        model.fetchMore({});
        QCOMPARE(model.rowCount(), 250);
        QVERIFY(!model.canFetchMore({}));
        QCOMPARE(model.at(249)->text, QStringLiteral("dictée 249"));

        // A dictation stored by anyone shows up at the top.
        (void)rig.store().insert(dictation(QStringLiteral("toute nouvelle"), -1));
        QCOMPARE(model.totalCount(), 251);
        QCOMPARE(model.at(0)->text, QStringLiteral("toute nouvelle"));

        // While hidden the list only notes that the store changed.
        model.setLive(false);
        (void)rig.store().insert(dictation(QStringLiteral("pendant que caché"), -2));
        QCOMPARE(model.totalCount(), 251);
        model.setLive(true);
        QCOMPARE(model.totalCount(), 252);
        QCOMPARE(model.at(0)->text, QStringLiteral("pendant que caché"));
    }

    void search_data()
    {
        QTest::addColumn<QString>("search");
        QTest::addColumn<QString>("category"); // raw value; empty: every category
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("empty shows all") << "" << "" << QStringList{"c", "b", "a"};
        QTest::newRow("any case") << "BONJOUR" << "" << QStringList{"a"};
        QTest::newRow("all words, any field") << "réunion courriel" << "" << QStringList{"b"};
        QTest::newRow("words in different texts") << "brut final" << "" << QStringList{"c"};
        QTest::newRow("mode name") << "courriel" << "" << QStringList{"b"};
        QTest::newRow("user's correction") << "corrigé" << "" << QStringList{"c"};
        QTest::newRow("spaces only") << "   " << "" << QStringList{"c", "b", "a"};
        QTest::newRow("no match") << "xylophone" << "" << QStringList{};
        QTest::newRow("one category") << "" << "email" << QStringList{"a"};
        QTest::newRow("category and words") << "réunion" << "work_message" << QStringList{"b"};
        QTest::newRow("words outside the category") << "courriel" << "email" << QStringList{};
        QTest::newRow("an unknown raw value is in no category") << "" << "document" << QStringList{};
    }
    void search()
    {
        QFETCH(QString, search);
        QFETCH(QString, category);
        QFETCH(QStringList, expected);
        SectionRig rig;
        Transcription a = dictation(QStringLiteral("Bonjour tout le monde"), 30);
        a.id = QUuid::fromString(QStringLiteral("{00000000-0000-0000-0000-00000000000a}"));
        a.categoryRaw = QStringLiteral("email");
        Transcription b = dictation(QStringLiteral("La réunion est déplacée"), 20, QStringLiteral("Courriel"));
        b.id = QUuid::fromString(QStringLiteral("{00000000-0000-0000-0000-00000000000b}"));
        b.categoryRaw = QStringLiteral("work_message");
        Transcription c = dictation(QStringLiteral("texte final"), 10);
        c.rawWhisperText = QStringLiteral("texte brut");
        c.userEditedText = QStringLiteral("texte corrigé");
        c.id = QUuid::fromString(QStringLiteral("{00000000-0000-0000-0000-00000000000c}"));
        c.categoryRaw = QStringLiteral("Document");
        for (const auto& t : {a, b, c})
            QVERIFY(rig.store().insert(t));

        HistorySection section(*rig.context);
        section.setSearch(search);
        if (!category.isEmpty()) {
            QComboBox* filter = nullptr;
            for (auto* box : section.findChildren<QComboBox*>())
                if (box->accessibleName() == QStringLiteral("Catégorie"))
                    filter = box;
            QVERIFY(filter);
            filter->setCurrentIndex(filter->findData(category));
            QVERIFY(filter->currentIndex() > 0);
        }
        QStringList got;
        for (int row = 0; row < section.model().rowCount(); ++row)
            got << section.model().at(row)->id.toString(QUuid::WithoutBraces).right(1);
        QCOMPARE(got, expected);
    }

    void detailActions()
    {
        SectionRig rig;
        Transcription t = dictation(QStringLiteral("le chat dort"), 5);
        t.transcriptionCostUSD = 0.01;
        QVERIFY(rig.store().insert(t));
        HistorySection section(*rig.context);
        section.select(t.id);
        QCOMPARE(section.selectedID(), std::optional<QUuid>(t.id));

        section.toggleStar();
        QVERIFY(rig.store().find<Transcription>(t.id)->isCloudStarred);
        section.toggleStar();
        QVERIFY(!rig.store().find<Transcription>(t.id)->isCloudStarred);

        section.saveCorrection(QStringLiteral("le chat dort bien"));
        QCOMPARE(rig.store().find<Transcription>(t.id)->userEditedText, std::optional<QString>("le chat dort bien"));
        section.saveCorrection(QStringLiteral("  "));
        QCOMPARE(rig.store().find<Transcription>(t.id)->userEditedText, std::optional<QString>("le chat dort bien"));
        QCOMPARE(section.statusText(), QStringLiteral("Le texte corrigé ne peut pas être vide."));

        section.copyFinalText();
        QCOMPARE(rig.pasteboard.text(), std::optional<QString>("le chat dort bien"));

        // Re-processing under another mode: a diff against the text the user has, then kept.
        TranscriptionMode mode;
        mode.name = QStringLiteral("Formel");
        mode.promptTemplate = QStringLiteral("Rends le texte formel.");
        QVERIFY(rig.store().insert(mode));
        rig.chat.results.push_back(QStringLiteral("le chien dort bien\n<qm-meta>{\"fixes\": 1}</qm-meta>"));
        QSignalSpy done(&section, &HistorySection::reprocessFinished);
        section.reprocess(mode.id);
        QVERIFY(done.count() == 1 || done.wait());
        QCOMPARE(rig.chat.calls.size(), 1);
        QVERIFY(rig.chat.calls[0].messages[0].content.contains(QStringLiteral("Rends le texte formel.")));
        QVERIFY(rig.chat.calls[0].messages[0].content.contains(QStringLiteral("le chat dort")));
        ProposalDiffView& view = section.proposalView();
        QVERIFY(view.showDiff());
        QTRY_VERIFY(view.diffReady());
        QCOMPARE(ProposalDiff::toMarkedText(*ProposalDiff::compute(view.baseline(), view.proposal())),
                 QStringLiteral("le [-chat-] {+chien+} dort bien"));
        QCOMPARE(view.displayedText(), QStringLiteral("le chat chien dort bien"));

        section.applyProposal();
        const auto kept = rig.store().find<Transcription>(t.id);
        QCOMPARE(kept->text, QStringLiteral("le chien dort bien"));
        QCOMPARE(kept->aiOutputText, std::optional<QString>("le chien dort bien"));
        QCOMPARE(kept->userEditedText, std::nullopt);
        QCOMPARE(kept->aiFixCount, std::optional<int>(1));
        QVERIFY(kept->aiCostUSD && qFuzzyCompare(*kept->aiCostUSD, 0.0021));
        QCOMPARE(kept->rawWhisperText, std::optional<QString>("le chat dort"));

        section.deleteSelected();
        QVERIFY(!rig.store().find<Transcription>(t.id));
        QCOMPARE(section.model().rowCount(), 0);
        QVERIFY(!section.selectedID());
    }

    void reprocessErrorKeepsRecord()
    {
        SectionRig rig;
        Transcription t = dictation(QStringLiteral("texte"), 1);
        QVERIFY(rig.store().insert(t));
        TranscriptionMode mode;
        QVERIFY(rig.store().insert(mode));
        rig.chat.results.push_back(unexpected(APIError::serverError(401, QStringLiteral("clé refusée"))));
        HistorySection section(*rig.context);
        section.select(t.id);
        QSignalSpy done(&section, &HistorySection::reprocessFinished);
        section.reprocess(mode.id);
        QVERIFY(done.count() == 1 || done.wait());
        QCOMPARE(section.statusText(), APIError::serverError(401, QStringLiteral("clé refusée")).errorDescription());
        section.applyProposal(); // nothing to apply
        QCOMPARE(rig.store().find<Transcription>(t.id)->text, QStringLiteral("texte"));
    }
};

QTEST_MAIN(TestHistorySection)
#include "tst_historysection.moc"
