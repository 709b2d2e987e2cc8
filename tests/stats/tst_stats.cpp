#include "stats/StatsSnapshot.h"
#include "stats/TextFigures.h"
#include "store/AppSettingsKeys.h"
#include "store/RecordStore.h"
#include "store/Settings.h"
#include "store/StoreFixture.h"

#include <QRandomGenerator>
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

    // Counting from the stored bytes gives the figures of the decoded string, grapheme clusters
    // found the long way, whatever the bytes.
    void textFiguresFromBytes_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const auto u = [](const char16_t* s) { return QString::fromUtf16(s).toUtf8(); };
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("only spaces") << u(u" \t\u00a0\u3000\u2028\u2029\u0085\u000b\u000c ");
        QTest::newRow("French") << u(u"l'été où j’ai dû aller à Noël, n'est-ce pas ?");
        QTest::newRow("CR LF and lone CR") << QByteArray("un\r\ndeux\rtrois\n\r\r\n");
        QTest::newRow("CR LF across eight bytes") << QByteArray("1234567\r\n2345678\r\n\t\v\f\x1f\x7f !");
        QTest::newRow("long words") << QByteArray("anticonstitutionnellement\tintergouvernementalisation ");
        QTest::newRow("last before combining marks") << u(u"\u02ff\u02ff x\u02ff");
        QTest::newRow("combining marks") << u(u"e\u0301te\u0301 a\u0300\u0327\u0308");
        QTest::newRow("mark after a space") << u(u" \u0301 \u0301");
        QTest::newRow("emoji ZWJ family") << u(u"\U0001F468\u200D\U0001F469\u200D\U0001F467 ok");
        QTest::newRow("skin tone") << u(u"\U0001F44D\U0001F3FD\U0001F44D");
        QTest::newRow("flags") << u(u"\U0001F1EB\U0001F1F7\U0001F1E9\U0001F1EA\U0001F1EB");
        QTest::newRow("CJK") << u(u"\u4eca\u65e5\u306f\u3000\u4e16\u754c");
        QTest::newRow("Hangul jamo") << u(u"\u1100\u1161\u11a8 \uac00");
        QTest::newRow("NBSP and narrow NBSP") << u(u"10\u00a0000\u202f\u20ac");
        QTest::newRow("line separators") << u(u"un\u2028deux\u2029trois\u0085quatre");
        QTest::newRow("byte order mark") << u(u"\ufeff\ufeffmot");
        QTest::newRow("byte order mark alone") << u(u"\ufeff");
        QTest::newRow("byte order marks and a space") << u(u"\ufeff \ufeff");
        QTest::newRow("NUL inside") << QByteArray("un\0deux", 7);
        QTest::newRow("variation selector") << u(u"\u2764\ufe0f \u0031\ufe0f\u20e3");
        QTest::newRow("invalid lead byte") << QByteArray("un \xff deux \xc0\xaf");
        QTest::newRow("truncated sequence") << QByteArray("caf\xc3");
        QTest::newRow("encoded surrogate") << QByteArray("a\xed\xa0\x80 b");
        QTest::newRow("overlong three bytes") << QByteArray("\xe0\x80\xa0 x");
        QTest::newRow("beyond U+10FFFF") << QByteArray("\xf4\x90\x80\x80 x");
        QTest::newRow("lone continuation") << QByteArray("\x80\x80 \xbf");
        QTest::newRow("noncharacters") << u(u"\uffff\ufffe \U0010FFFF");
    }

    void textFiguresFromBytes()
    {
        QFETCH(QByteArray, bytes);
        const QString text = QString::fromUtf8(bytes);
        const TextFigures reference{wordCount(text), characterCount(text)};
        QCOMPARE(TextFigures::of(text), reference);
        QCOMPARE(TextFigures::ofUtf8(bytes), reference);
    }

    // Random mixes of the pieces that matter, with a fixed seed so that a failure replays.
    void textFiguresFromRandomBytes()
    {
        // The first nine are ASCII, drawn three times out of four: runs of it then pass eight bytes.
        const QList<QByteArray> pieces{
            "a", "Z", "7", " ", "\t", "\n", "\r", "\r\n", "'", "\xc3\xa9", "\xcb\xbf", "\xcc\x81",
            "\xc2\xa0", "\xc2\x85", "\xe2\x80\xa8", "\xe3\x80\x80", "\xe2\x80\x8d", "\xef\xbb\xbf",
            "\xe4\xbb\x8a", "\xf0\x9f\x91\x8d", "\xf0\x9f\x8f\xbd", "\xf0\x9f\x87\xab", "\xef\xb8\x8f",
            "\xe1\x84\x80", "\xe1\x85\xa1", QByteArray("\0", 1), "\xff", "\xc3", "\xed\xa0\x80", "\x80"};
        QRandomGenerator random(20261210);
        for (int round = 0; round < 3000; ++round) {
            QByteArray bytes;
            const int length = int(random.bounded(40));
            for (int i = 0; i < length; ++i)
                bytes += pieces[qsizetype(random.bounded(random.bounded(4) ? 9U : quint32(pieces.size())))];
            const QString text = QString::fromUtf8(bytes);
            const TextFigures reference{wordCount(text), characterCount(text)};
            const TextFigures fromBytes = TextFigures::ofUtf8(bytes);
            const TextFigures fromText = TextFigures::of(text);
            QVERIFY2(fromBytes == reference && fromText == reference,
                     qPrintable(QStringLiteral("%1: %2/%3 from the bytes, %4/%5 from the string, %6/%7 expected")
                                    .arg(QLatin1String(bytes.toHex(' ')))
                                    .arg(fromBytes.words).arg(fromBytes.characters)
                                    .arg(fromText.words).arg(fromText.characters)
                                    .arg(reference.words).arg(reference.characters)));
        }
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
