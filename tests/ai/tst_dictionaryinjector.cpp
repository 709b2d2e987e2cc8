#include "ai/DictionaryInjector.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

DictionaryEntry entry(const QString& term, const QString& pronunciations = {}, int scopes = 7,
                      std::optional<QString> replacement = std::nullopt)
{
    DictionaryEntry e;
    e.term = term;
    e.pronunciationsRaw = pronunciations;
    e.scopesRaw = scopes;
    e.replacement = replacement;
    return e;
}

} // namespace

class TestDictionaryInjector : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void replacements_data()
    {
        QTest::addColumn<QList<DictionaryEntry>>("entries");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("expected");

        const int r = DictionaryScopes::replacement;
        QTest::newRow("pronunciations in any case become the term")
            << QList{entry("Kubernetes", "cube air netties, kuber nettes", r)}
            << "I deploy on CUBE AIR NETTIES and Kuber Nettes daily."
            << "I deploy on Kubernetes and Kubernetes daily.";
        QTest::newRow("inside a longer word nothing changes")
            << QList{entry("Ovra", "ovr", r)} << "overall ovr, ovrx" << "overall Ovra, ovrx";
        QTest::newRow("replacement replaces the term too")
            << QList{entry("gpt", "g p t", r, QStringLiteral("GPT-5"))} << "use gpt or g p t"
            << "use GPT-5 or GPT-5";
        QTest::newRow("only variant equals the target")
            << QList{entry("Ovra", {}, r)} << "ovra stays" << "ovra stays";
        QTest::newRow("entry without the replacement scope is ignored")
            << QList{entry("Ovra", "ovr", DictionaryScopes::transcription | DictionaryScopes::transformation)}
            << "ovr" << "ovr";
        QTest::newRow("replacement text is literal: dollar")
            << QList{entry("price", "five bucks", r, QStringLiteral("US$5 $1 $0"))} << "it costs five bucks."
            << "it costs US$5 $1 $0.";
        QTest::newRow("replacement text is literal: backslashes")
            << QList{entry("tempdir", "temp folder", r, QStringLiteral("C:\\temp \\1 \\\\"))} << "open temp folder now"
            << "open C:\\temp \\1 \\\\ now";
        QTest::newRow("metacharacters in variants are plain text")
            << QList{entry("C++", "c plus plus", r), entry("a.b", "a*b", r)} << "c plus plus and a*b but not axb"
            << "C++ and a.b but not axb";
        QTest::newRow("accented words are whole words")
            << QList{entry("Café Ovra", "café", r)} << "CAFÉ, cafés et café." << "Café Ovra, cafés et Café Ovra.";
        QTest::newRow("a word ending in an accent is not cut")
            << QList{entry("Zed", "caf", r)} << "café caf" << "café Zed";
        QTest::newRow("empty variants are dropped")
            << QList{entry("Ovra", " , ,\t,ovr ,", r)} << "ovr and  spaces" << "Ovra and  spaces";
        QTest::newRow("entries chain on the previous output")
            << QList{entry("beta", "alpha", r), entry("gamma", "beta", r)} << "alpha" << "gamma";
        QTest::newRow("multi-word variant") << QList{entry("New York", "new yawk", r)} << "NEW YAWK city"
                                            << "New York city";
        QTest::newRow("variant starting with punctuation")
            << QList{entry("dotnet", ".net", r)} << "I like .NET" << "I like .NET";
    }
    void replacements()
    {
        QFETCH(QList<DictionaryEntry>, entries);
        QFETCH(QString, input);
        QFETCH(QString, expected);
        QCOMPARE(DictionaryInjector::applyReplacements(input, entries), expected);
    }

    void replacementsOnThousandsOfEntries()
    {
        QList<DictionaryEntry> entries;
        for (int i = 0; i < 3000; ++i)
            entries << entry(QStringLiteral("Term%1").arg(i), QStringLiteral("word%1, other%1").arg(i),
                             DictionaryScopes::replacement);
        QCOMPARE(DictionaryInjector::applyReplacements(QStringLiteral("say word2999 and OTHER7 or word30000"), entries),
                 QStringLiteral("say Term2999 and Term7 or word30000"));
    }

    // The word index that skips most patterns must never change the result: compare with one
    // regular expression per variant over texts of mixed case, accents, digits and punctuation.
    void sameResultAsADirectScan()
    {
        const QStringList words{"Élan", "élan", "ÉLAN", "café", "Café", "x_1", "x", "C++", "a.b", "ab", "ſun", "sun",
                                "Straße", "STRASSE", "naïve", "naive", "42", "4", "über", "Über", "ÜBERALL", "ðe"};
        const QStringList glue{" ", ", ", ".", "-", "'", "\n", "  ", "_", "é"};
        quint32 seed = 7;
        auto next = [&seed](quint32 n) {
            seed = seed * 1103515245u + 12345u;
            return (seed >> 16) % n;
        };
        for (int round = 0; round < 200; ++round) {
            QList<DictionaryEntry> entries;
            for (int i = 0; i < 6; ++i) {
                const QString pron = words[next(words.size())] + "," + words[next(words.size())] + " " +
                                     words[next(words.size())];
                entries << entry(words[next(words.size())], pron, DictionaryScopes::replacement,
                                 next(3) == 0 ? std::optional<QString>(words[next(words.size())]) : std::nullopt);
            }
            QString text;
            for (int i = 0; i < 40; ++i)
                text += words[next(words.size())] + glue[next(glue.size())];

            QString expected = text;
            for (const DictionaryEntry& e : entries) {
                const QString target = e.replacement.value_or(e.term);
                for (const QString& v : QStringList{e.term} + DictionaryInjector::pronunciations(e)) {
                    if (v.trimmed() == target)
                        continue;
                    const QRegularExpression re("\\b" + QRegularExpression::escape(v.trimmed()) + "\\b",
                                                QRegularExpression::CaseInsensitiveOption |
                                                    QRegularExpression::UseUnicodePropertiesOption);
                    QString out;
                    qsizetype last = 0;
                    for (auto it = re.globalMatch(expected); it.hasNext();) {
                        const auto m = it.next();
                        out += expected.mid(last, m.capturedStart() - last) + target;
                        last = m.capturedEnd();
                    }
                    expected = out + expected.mid(last);
                }
            }
            QCOMPARE(DictionaryInjector::applyReplacements(text, entries), expected);
        }
    }

    void hintKeepsTheMostUsedWithinBudget()
    {
        QList<DictionaryEntry> entries;
        for (int i = 0; i < 300; ++i) {
            DictionaryEntry e = entry(QStringLiteral("t%1").arg(i, 3, 10, QLatin1Char('0')).leftJustified(20, u'x'),
                                      {}, DictionaryScopes::transcription);
            e.usageCount = i;
            entries << e;
        }
        const auto hint = DictionaryInjector::transcriptionHint(entries, 224);
        QVERIFY(hint);
        QVERIFY(hint->size() <= 896);
        QVERIFY(hint->startsWith(QStringLiteral("Vocabulary: t299")));
        QVERIFY(hint->contains(QStringLiteral("t260")));
        QVERIFY(!hint->contains(QStringLiteral("t259")));
        QCOMPARE(hint->count(QStringLiteral(", ")), 39);
    }

    void hintOrdering()
    {
        DictionaryEntry pinnedA = entry(QString(400, u'a'), {}, 0);
        pinnedA.isPinned = true;
        DictionaryEntry pinnedB = entry(QString(400, u'b'), {}, DictionaryScopes::replacement);
        pinnedB.isPinned = true;
        DictionaryEntry pinnedC = entry(QString(300, u'c'), QStringLiteral("x, y"), 1);
        pinnedC.isPinned = true;
        DictionaryEntry used = entry(QStringLiteral("used"), {}, 1);
        used.usageCount = 3;
        DictionaryEntry recent = entry(QStringLiteral("recent"), {}, 1);
        recent.lastUsedAt = QDateTime::fromSecsSinceEpoch(2000);
        DictionaryEntry older = entry(QStringLiteral("older"), {}, 1);
        older.lastUsedAt = QDateTime::fromSecsSinceEpoch(1000);
        DictionaryEntry never = entry(QStringLiteral("never"), QStringLiteral("nev er,"), 1);
        DictionaryEntry outOfScope = entry(QStringLiteral("nope"), {}, DictionaryScopes::replacement);

        // Over budget with the pinned ones alone: all three pinned, nothing else.
        auto hint = DictionaryInjector::transcriptionHint({never, pinnedA, used, pinnedB, pinnedC}, 224);
        QCOMPARE(*hint, QStringLiteral("Vocabulary: ") + QString(400, u'a') + QStringLiteral(", ") +
                            QString(400, u'b') + QStringLiteral(", ") + QString(300, u'c') +
                            QStringLiteral(" (also: x, y)."));

        hint = DictionaryInjector::transcriptionHint({never, older, outOfScope, recent, used}, 224);
        QCOMPARE(*hint, QStringLiteral("Vocabulary: used, recent, older, never (also: nev er)."));

        // A long item that does not fit does not stop a shorter later one.
        DictionaryEntry huge = entry(QString(900, u'h'), {}, 1);
        huge.usageCount = 10;
        hint = DictionaryInjector::transcriptionHint({huge, never}, 224);
        QCOMPARE(*hint, QStringLiteral("Vocabulary: never (also: nev er)."));

        QVERIFY(!DictionaryInjector::transcriptionHint({outOfScope}, 224));
        QVERIFY(!DictionaryInjector::transcriptionHint({}, 224));
    }

    void vocabularyBlock()
    {
        const DictionaryEntry a = entry(QStringLiteral("Ovra"), QStringLiteral("ovr , ovrah"), 4);
        const DictionaryEntry b = entry(QStringLiteral("GPT"), {}, 4, QStringLiteral("GPT-5"));
        const DictionaryEntry hidden = entry(QStringLiteral("Hidden"), {}, 1);
        const DictionaryEntry extra = entry(QStringLiteral("Extra"), {}, 1, QStringLiteral(""));
        QCOMPARE(DictionaryInjector::vocabularyBlock({a, hidden, b}, {a, extra, extra}),
                 QStringLiteral("<vocabulary>\nUse exactly these spellings and forms when the input mentions them:\n"
                                "- Ovra (heard as: ovr, ovrah)\n- GPT \u2014 GPT-5\n- Extra\n</vocabulary>"));
        QCOMPARE(DictionaryInjector::vocabularyBlock({hidden}), QString());
    }

    void usageCountsOncePerEntryAndSaves()
    {
        QTemporaryDir dir;
        auto store = RecordStore::open(dir.filePath(QStringLiteral("s.sqlite")), {});
        QVERIFY(store);
        QList<DictionaryEntry> entries{entry(QStringLiteral("Ovra"), QStringLiteral("ovr")),
                                       entry(QStringLiteral("Absent")), entry(QStringLiteral("C#"))};
        for (const auto& e : entries)
            QVERIFY((*store)->insert(e));
        const QDateTime now = QDateTime::fromSecsSinceEpoch(1'800'000'000, Qt::UTC);

        DictionaryInjector::recordUsage(QStringLiteral("ovra OVR Ovra"), entries, now, **store);
        QCOMPARE(entries[0].usageCount, 1);
        QCOMPARE(entries[0].lastUsedAt, now);
        QCOMPARE(entries[1].usageCount, 0);
        QVERIFY(!entries[1].lastUsedAt);
        const auto stored = (*store)->find<DictionaryEntry>(entries[0].id);
        QCOMPARE(stored->usageCount, 1);
        QCOMPARE(stored->lastUsedAt, now);

        QVERIFY(DictionaryInjector::recordUsage(QString(), entries, now).isEmpty());
        QCOMPARE(DictionaryInjector::recordUsage(QStringLiteral("in C# ovr"), entries, now).size(), 1);
        QCOMPARE(entries[0].usageCount, 2);
    }

    // The list was fetched before the dictation's awaits; edits made meanwhile elsewhere must survive.
    void usageIsCountedOnFreshRecords()
    {
        QTemporaryDir dir;
        auto store = RecordStore::open(dir.filePath(QStringLiteral("s.sqlite")), {});
        QVERIFY(store);
        QList<DictionaryEntry> stale{entry(QStringLiteral("Ovra"), QStringLiteral("ovr")), entry(QStringLiteral("Gone"))};
        for (const auto& e : stale)
            QVERIFY((*store)->insert(e));

        DictionaryEntry edited = stale[0];
        edited.replacement = QStringLiteral("OVRA");
        edited.usageCount = 5;
        QVERIFY((*store)->replace(edited));
        QVERIFY((*store)->remove<DictionaryEntry>(stale[1].id));

        const QDateTime now = QDateTime::fromSecsSinceEpoch(1'800'000'000, Qt::UTC);
        DictionaryInjector::recordUsage(QStringLiteral("Ovra and Gone"), stale, now, **store);
        const auto stored = (*store)->find<DictionaryEntry>(edited.id);
        QVERIFY(stored);
        QCOMPARE(stored->replacement, std::optional<QString>(QStringLiteral("OVRA")));
        QCOMPARE(stored->usageCount, 6);
        QCOMPARE(stored->lastUsedAt, now);
        QVERIFY(!(*store)->find<DictionaryEntry>(stale[1].id)); // not brought back
    }
};

QTEST_GUILESS_MAIN(TestDictionaryInjector)
#include "tst_dictionaryinjector.moc"
