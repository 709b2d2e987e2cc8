// Prices, the cost shown in Canadian dollars, usage records and the model catalogue.
#include "ai/AIModelCatalog.h"
#include "ai/AIProviderSettings.h"
#include "ai/UsageTracker.h"
#include "network/Pricing.h"
#include "store/RecordStore.h"

#include <QTemporaryDir>
#include <QTest>

class TestUsage : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void transcriptionCosts_data()
    {
        QTest::addColumn<QString>("model");
        QTest::addColumn<double>("seconds");
        QTest::addColumn<double>("dollars");
        QTest::newRow("mini 90 s") << "gpt-4o-mini-transcribe" << 90.0 << 0.0045;
        QTest::newRow("unknown 90 s") << "some-new-model" << 90.0 << 0.009;
        QTest::newRow("turbo 60 s") << "whisper-large-v3-turbo" << 60.0 << 0.04 / 60;
        QTest::newRow("large v3 120 s") << "whisper-large-v3" << 120.0 << 0.0037;
        QTest::newRow("gemini 2.5 30 s") << "gemini-2.5-flash" << 30.0 << 0.001;
        QTest::newRow("gemini 3.5 60 s") << "gemini-3.5-flash" << 60.0 << 0.004;
        QTest::newRow("whisper-1 0 s") << "whisper-1" << 0.0 << 0.0;
    }
    void transcriptionCosts()
    {
        QFETCH(QString, model);
        QFETCH(double, seconds);
        QFETCH(double, dollars);
        QVERIFY(qAbs(transcriptionCost(model, seconds) - dollars) < 1e-12);
    }

    void chatCosts_data()
    {
        QTest::addColumn<QString>("model");
        QTest::addColumn<int>("input");
        QTest::addColumn<int>("output");
        QTest::addColumn<double>("dollars");
        QTest::newRow("haiku") << "claude-haiku-4-5" << 1'000'000 << 1'000'000 << 6.0;
        QTest::newRow("pro") << "gpt-5.5-pro" << 1000 << 2000 << 0.03 + 0.36;
        QTest::newRow("flash lite 2.0") << "gemini-2.0-flash-lite" << 2'000'000 << 0 << 0.15;
        QTest::newRow("gemma free") << "gemma-4-26b-a4b-it" << 5000 << 5000 << 0.0;
        QTest::newRow("qwen") << "qwen/qwen3.6-27b" << 500'000 << 100'000 << 0.3 + 0.3;
        QTest::newRow("unknown") << "mystery" << 1'000'000 << 1'000'000 << 6.0;
        QTest::newRow("gpt-4.1") << "gpt-4.1" << 1'000'000 << 0 << 2.0;
    }
    void chatCosts()
    {
        QFETCH(QString, model);
        QFETCH(int, input);
        QFETCH(int, output);
        QFETCH(double, dollars);
        QVERIFY2(qAbs(chatCost(model, input, output) - dollars) < 1e-9, qPrintable(QString::number(chatCost(model, input, output))));
    }

    void formattedCosts_data()
    {
        QTest::addColumn<double>("dollars");
        QTest::addColumn<QString>("text");
        const QString nbsp(QChar(0x00A0));
        // 0.00705 CAD, held as 0.0070499… in binary: shown as 0,0070.
        QTest::newRow("below a cent: 4 decimals") << 0.005 << "0,0070" + nbsp + "$";
        QTest::newRow("a tenth of a cent") << 0.001 << "0,0014" + nbsp + "$";
        QTest::newRow("one dollar: 2 decimals") << 1.0 << "1,41" + nbsp + "$";
        QTest::newRow("zero: 2 decimals") << 0.0 << "0,00" + nbsp + "$";
        QTest::newRow("thousands") << 1000.0 << "1" + nbsp + "410,00" + nbsp + "$";
    }
    void formattedCosts()
    {
        QFETCH(double, dollars);
        QFETCH(QString, text);
        QCOMPARE(formatCost(dollars), text);
    }

    void recordsUsage()
    {
        QTemporaryDir dir;
        auto store = RecordStore::open(dir.filePath("s.sqlite"), [] { return EditIdentity{}; });
        QVERIFY(store.hasValue());
        UsageTracker tracker;
        // Before start-up hands over the store, nothing is recorded.
        tracker.recordTranscription(TranscriptionProvider::groq, "whisper-large-v3", 30);
        tracker.setModelContext(store->get());
        tracker.recordChat(AIProvider::claude, "claude-haiku-4-5", 0, 0);
        tracker.recordTranscription(TranscriptionProvider::openai, "whisper-1", 0);
        QCOMPARE((*store)->count<APIUsageRecord>(), 0);

        tracker.recordChat(AIProvider::openai, "gpt-5.4-mini", 1000, 0);
        tracker.recordTranscription(TranscriptionProvider::gemini, "gemini-2.5-flash", 90);
        const auto records = (*store)->fetch<APIUsageRecord>({}, {{"kindRaw", true}});
        QCOMPARE(records.size(), 2);
        QCOMPARE(records[0].kindRaw, QString("ai"));
        QCOMPARE(records[0].providerRaw, QString("openai"));
        QCOMPARE(records[0].inputTokens, 1000);
        QCOMPARE(records[0].outputTokens, 0);
        QVERIFY(qAbs(records[0].costUSD - 0.00075) < 1e-12);
        QCOMPARE(records[1].kindRaw, QString("transcription"));
        QCOMPARE(records[1].providerRaw, QString("gemini"));
        QCOMPARE(records[1].model, QString("gemini-2.5-flash"));
        QCOMPARE(records[1].audioSeconds, 90.0);
        QVERIFY(qAbs(records[1].costUSD - 0.003) < 1e-12);
    }

    void catalogueMatchesTheChatModels()
    {
        for (AIProvider p : allAIProviders()) {
            QStringList ids;
            for (const AIModel& m : AIModelCatalog::models(p)) {
                ids << m.id;
                QVERIFY(!m.name.isEmpty());
            }
            QCOMPARE(ids, AIProviderSettings::chatModels(p));
        }
        QCOMPARE(AIModelCatalog::modelDisplayName("claude-haiku-4-5"), QString("Claude Haiku 4.5"));
        QCOMPARE(AIModelCatalog::modelDisplayName("gemma-4-26b-a4b-it"), QString("Gemma 4 26B (MoE)"));
        QCOMPARE(AIModelCatalog::modelDisplayName("gemini-2.5-flash-lite"), QString("Gemini 2.5 Flash Lite"));
        QCOMPARE(AIModelCatalog::modelDisplayName("apple-on-device"), QString("Apple Intelligence"));
        QVERIFY(AIModelCatalog::modelDisplayName("gpt-4o-mini").endsWith("(ancien)"));
    }
};

QTEST_GUILESS_MAIN(TestUsage)
#include "tst_usage.moc"
