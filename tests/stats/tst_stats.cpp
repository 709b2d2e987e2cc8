#include "stats/StatsSnapshot.h"
#include "store/AppSettingsKeys.h"
#include "store/RecordStore.h"
#include "store/Settings.h"
#include "store/StoreFixture.h"

#include <QSignalSpy>

namespace {

// Mid-March in Paris; the month began at 2026-02-28T23:00:00Z.
const QDateTime kNow = QDateTime::fromString(QStringLiteral("2026-03-15T12:00:00Z"), Qt::ISODate);

struct Dictation
{
    QString text;
    double duration = 0;
    QString createdAt = QStringLiteral("2026-03-10T10:00:00Z");
    std::optional<int> storedWords;
    std::optional<int> aiFixes;
    // The raw text is the text unless both are given here (null: absent).
    std::optional<std::pair<QString, QString>> rawAndReplaced;
};

} // namespace

Q_DECLARE_METATYPE(QList<Dictation>)

class TestStats : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void computeStats_data()
    {
        QTest::addColumn<QList<Dictation>>("dictations");
        QTest::addColumn<QList<double>>("costs"); // pairs: day offset from now, cost
        // totalCount, totalWords, keystrokes, timeSaved, thisMonthWords, wpm, aiFixes, monthCost, allCost
        QTest::addColumn<QList<double>>("expected");

        const QString words380 = QStringList(380, QStringLiteral("mot")).join(QLatin1Char(' '));
        const QString words100 = QStringList(100, QStringLiteral("mot")).join(QLatin1Char(' '));
        const QString words30 = QStringList(30, QStringLiteral("mot")).join(QLatin1Char(' '));
        QTest::newRow("empty store") << QList<Dictation>{} << QList<double>{}
                                     << QList<double>{0, 0, 0, 0, 0, 0, 0, 0, 0};
        QTest::newRow("38 wpm saves nothing")
            << QList<Dictation>{{words380, 600}} << QList<double>{}
            << QList<double>{1, 380, 380 * 4 - 1, 0, 380, 38, 0, 0, 0};
        QTest::newRow("100 words in a minute")
            << QList<Dictation>{{words100, 60}} << QList<double>{}
            << QList<double>{1, 100, 399, 100.0 / 38 * 60 - 60, 100, 100, 0, 0, 0};
        QTest::newRow("slower than typing is never negative")
            << QList<Dictation>{{words30, 120}} << QList<double>{} << QList<double>{1, 30, 119, 0, 30, 15, 0, 0, 0};
        Dictation purged{QString(), 10};
        purged.storedWords = 42;
        QTest::newRow("purged dictation keeps its words")
            << QList<Dictation>{purged} << QList<double>{} << QList<double>{1, 42, 0, 42.0 / 38 * 60 - 10, 42, 252, 0, 0, 0};
        QTest::newRow("white space of every kind")
            << QList<Dictation>{{QStringLiteral("  un   deux\n\n\ttrois\u00a0quatre  "), 0}} << QList<double>{}
            << QList<double>{1, 4, 28, 4.0 / 38 * 60, 4, 0, 0, 0, 0};
        QTest::newRow("grapheme clusters")
            << QList<Dictation>{{QStringLiteral("e\u0301te\u0301 \U0001F44D\U0001F3FD\r\n"), 0}} << QList<double>{}
            << QList<double>{1, 2, 6, 2.0 / 38 * 60, 2, 0, 0, 0, 0};
        Dictation lastOfFebruary{QStringLiteral("avant"), 1, QStringLiteral("2026-02-28T22:59:59Z")};
        Dictation firstOfMarch{QStringLiteral("après"), 1, QStringLiteral("2026-02-28T23:00:00Z")};
        lastOfFebruary.aiFixes = 2;
        firstOfMarch.aiFixes = 3;
        // The spoken text falls back from a raw text that is only white space (of kinds a plain
        // trim would keep) to the replaced one, and from two absent ones to the text.
        Dictation blankRaw{QStringLiteral("un deux trois quatre cinq"), 0};
        blankRaw.rawAndReplaced = std::pair{QStringLiteral(" \u2028\u3000\u00a0\n"), QStringLiteral("un deux")};
        Dictation noRaw{QStringLiteral("seul"), 0};
        noRaw.rawAndReplaced = std::pair{QString(), QString()};
        QTest::newRow("spoken text falls back")
            << QList<Dictation>{blankRaw, noRaw} << QList<double>{}
            << QList<double>{2, 3, 11, 3.0 / 38 * 60, 3, 0, 0, 0, 0};
        QTest::newRow("last day of the previous month")
            << QList<Dictation>{lastOfFebruary, firstOfMarch} << QList<double>{-20, 1.5, -5, 0.25, 0, 0.125}
            << QList<double>{2, 2, 10, 2.0 / 38 * 60 - 2, 1, 60, 5, 0.375, 1.875};
    }

    void computeStats()
    {
        QFETCH(QList<Dictation>, dictations);
        QFETCH(QList<double>, costs);
        QFETCH(QList<double>, expected);
        StoreFixture fx;
        auto store = fx.open();
        for (const Dictation& d : dictations) {
            Transcription t;
            t.text = d.text;
            t.rawWhisperText = d.text;
            if (d.rawAndReplaced) {
                const auto& [raw, replaced] = *d.rawAndReplaced;
                t.rawWhisperText = raw.isNull() ? std::nullopt : std::optional<QString>(raw);
                t.afterReplacementsText = replaced.isNull() ? std::nullopt : std::optional<QString>(replaced);
            }
            t.duration = d.duration;
            t.createdAt = QDateTime::fromString(d.createdAt, Qt::ISODate);
            t.aiFixCount = d.aiFixes;
            if (d.storedWords) {
                t.purgeContent();
                t.storedWordCount = d.storedWords;
            }
            QVERIFY(store->insert(t));
        }
        for (qsizetype i = 0; i + 1 < costs.size(); i += 2) {
            APIUsageRecord u;
            u.date = kNow.addDays(qint64(costs[i]));
            u.costUSD = costs[i + 1];
            QVERIFY(store->insert(u));
        }
        const BackupStats s = ::computeStats(*store, kNow);
        const QList<double> got{double(s.totalCount),      double(s.totalWords),    double(s.totalKeystrokesSaved),
                                s.timeSavedSeconds,        double(s.thisMonthWords), s.averageWordsPerMinute,
                                double(s.totalAIFixes),    s.thisMonthCostUSD,       s.allTimeCostUSD};
        for (qsizetype i = 0; i < got.size(); ++i)
            QVERIFY2(qAbs(got[i] - expected[i]) < 1e-9,
                     qPrintable(QStringLiteral("figure %1: %2 instead of %3").arg(i).arg(got[i]).arg(expected[i])));
    }

    void snapshotWrittenOnlyOnChange()
    {
        StoreFixture fx;
        auto store = fx.open();
        Settings settings(fx.dir.filePath(QStringLiteral("config")));
        QSignalSpy changes(&settings, &Settings::changed);
        QVERIFY(refreshSnapshot(*store, settings, kNow));
        const auto first = readSnapshot(settings);
        QVERIFY(first);
        QCOMPARE(first->stats, BackupStats{});
        QCOMPARE(first->generatedAt, kNow);

        // Nothing changed: nothing written, not even the new date.
        changes.clear();
        QVERIFY(!refreshSnapshot(*store, settings, kNow.addSecs(60)));
        QCOMPARE(changes.size(), 0);
        QCOMPARE(readSnapshot(settings)->generatedAt, kNow);

        // The rank another part published is carried over.
        StatsSnapshot ranked = *first;
        ranked.worldRank = 12;
        ranked.worldRankIsCapped = true;
        writeSnapshot(settings, ranked);
        Transcription t;
        t.text = QStringLiteral("un deux trois");
        QVERIFY(store->insert(t));
        QVERIFY(refreshSnapshot(*store, settings, kNow.addSecs(120)));
        const auto after = readSnapshot(settings);
        QCOMPARE(after->stats.totalWords, 3);
        QCOMPARE(after->worldRank, std::optional<qint64>(12));
        QCOMPARE(after->worldRankIsCapped, std::optional<bool>(true));
        QCOMPARE(after->generatedAt, kNow.addSecs(120));

        // The stored form: seconds since 2001 for the date.
        const QByteArray raw = settings.value(AppSettingsKey::widgetStatsSnapshot).toByteArray();
        QVERIFY2(raw.contains("\"generatedAt\":795268920"), raw);
    }

    void wordsHighWaterMarkNeverDecreases()
    {
        StoreFixture fx;
        auto store = fx.open();
        Settings settings(fx.dir.filePath(QStringLiteral("config")));
        const QString best = SharedDefaults::key(SharedDefaultsKey::dictatedWordsBest);
        (void)refreshSnapshot(*store, settings, kNow);
        QVERIFY(!settings.contains(best)); // nothing dictated yet: no mark
        Transcription t;
        t.text = QStringLiteral("un deux trois quatre");
        QVERIFY(store->insert(t));
        (void)refreshSnapshot(*store, settings, kNow);
        QCOMPARE(settings.intValue(best, -1), 4);
        QVERIFY(store->remove<Transcription>(t.id));
        (void)refreshSnapshot(*store, settings, kNow);
        QCOMPARE(readSnapshot(settings)->stats.totalWords, 0);
        QCOMPARE(settings.intValue(best, -1), 4);
        settings.setValue(best, 1000); // a larger value synced from another device stays
        (void)refreshSnapshot(*store, settings, kNow);
        QCOMPARE(settings.intValue(best, -1), 1000);
    }

    void undecodableSnapshotReadsAsNone_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::newRow("not JSON") << QVariant(QByteArray("{"));
        QTest::newRow("missing figure") << QVariant(QByteArray(R"({"totalCount":1,"generatedAt":0})"));
        QTest::newRow("rank of the wrong type")
            << QVariant(QByteArray(R"({"totalCount":0,"totalWords":0,"totalKeystrokesSaved":0,"timeSavedSeconds":0,)"
                                   R"("thisMonthWords":0,"averageWordsPerMinute":0,"totalAIFixes":0,)"
                                   R"("thisMonthCostUSD":0,"allTimeCostUSD":0,"worldRank":"first","generatedAt":0})"));
        QTest::newRow("a string, not data") << QVariant(QStringLiteral("{}"));
    }

    void undecodableSnapshotReadsAsNone()
    {
        QFETCH(QVariant, stored);
        QTemporaryDir dir;
        Settings settings(dir.path());
        settings.setValue(AppSettingsKey::widgetStatsSnapshot, stored);
        QVERIFY(!readSnapshot(settings));
    }
};

QTEST_GUILESS_MAIN(TestStats)
#include "tst_stats.moc"
