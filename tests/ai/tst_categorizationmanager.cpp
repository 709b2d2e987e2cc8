// Categorisation through the real chat client and on-device service against local servers:
// the exact requests, batches of 20, the automatic threshold, and answers that cannot be used.
#include "AIFeatureRig.h"
#include "ai/CategorizationManager.h"

#include <QTest>

using Reply = LocalHttpServer::Reply;

namespace {

struct Rig : AIFeatureRig
{
    CategorizationManager manager{onDevice, settings, log};

    Rig()
    {
        manager.setClaude(&claude);
        manager.setModelContext(store.get());
    }
    // Dictations in date order, one second apart.
    QList<Transcription> add(const QStringList& texts)
    {
        QList<Transcription> out;
        const QDateTime base = QDateTime::currentDateTimeUtc().addDays(-1).addSecs(store->count<Transcription>());
        for (qsizetype i = 0; i < texts.size(); ++i) {
            Transcription t;
            t.text = texts[i];
            t.createdAt = base.addSecs(i);
            (void)store->insert(t);
            out << t;
        }
        return out;
    }
    QList<Transcription> add(int n) { return add(QStringList(n, QStringLiteral("Écris une fonction"))); }
    std::optional<QString> category(const QUuid& id) const { return store->find<Transcription>(id)->categoryRaw; }
    int categorised() const
    {
        return int(store->fetch<Transcription>([](const Transcription& t) { return bool(t.categoryRaw); }).size());
    }
    QString userText(int request) const
    {
        const QJsonObject body = QJsonDocument::fromJson(cloud.requests[request].body).object();
        return body.value("messages").toArray().at(0).toObject().value("content").toString();
    }
};

// One answer naming every position of a batch of up to 20.
QByteArray allEmail()
{
    QJsonArray items;
    for (int i = 0; i < 20; ++i)
        items.append(QJsonObject{{"i", i}, {"category", "email"}});
    return QJsonDocument(items).toJson(QJsonDocument::Compact);
}

} // namespace

class TestCategorizationManager : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void itemTexts_data()
    {
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QString>("items");
        QTest::newRow("trimmed, line breaks to spaces")
            << QStringList{"  Salut\nça va ?\r\nOui \n", "Deux"} << "0: Salut ça va ? Oui\n1: Deux";
        QTest::newRow("cut at 240") << QStringList{QString(300, 'a')} << "0: " + QString(240, 'a');
        const QString emoji = QString::fromUtf8("😀");
        QTest::newRow("no half character at the cut")
            << QStringList{QString(239, 'a') + emoji} << "0: " + QString(239, 'a');
    }
    void itemTexts()
    {
        QFETCH(QStringList, texts);
        QFETCH(QString, items);
        QList<Transcription> batch;
        for (const QString& t : texts)
            batch << Transcription{.text = t};
        QCOMPARE(CategorizationManager::items(batch), items);
    }

    void matching_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("raw");
        QTest::newRow("exact") << "work_message" << "work_message";
        QTest::newRow("upper case") << "EMAIL" << "email";
        QTest::newRow("case name") << "personalMessage" << "personal_message";
        QTest::newRow("contains") << "category: ai_prompt." << "ai_prompt";
        QTest::newRow("unknown") << "poem" << "";
        QTest::newRow("empty") << "" << "";
    }
    void matching()
    {
        QFETCH(QString, answer);
        QFETCH(QString, raw);
        const auto c = CategorizationManager::matchCategory(answer);
        QCOMPARE(c ? rawValue(*c) : QString(), raw);
    }

    void cloudRequestIsExactAndAnswersAreStored()
    {
        Rig rig;
        const auto d = rig.add({"Résume ce texte", "Bonjour Marie,\nmerci.", "   \n "});
        rig.cloud.enqueue(Rig::anthropic(R"([{"i": 0, "category": "ai_prompt"}, {"i": 1, "category": "email"}])"));
        awaitTask(rig.manager.classifyPending());
        QCOMPARE(rig.cloud.requests.size(), 1);
        QCOMPARE(rig.cloud.requests[0].target, "/v1/messages");
        const QJsonObject body = rig.lastCloudBody();
        QCOMPARE(body.value("model").toString(), "claude-haiku-4-5");
        QCOMPARE(body.value("max_tokens").toInt(), 1024);
        QCOMPARE(body.value("system").toString(), CategorizationManager::systemPrompt());
        QVERIFY(body.value("system").toString().endsWith("No prose, no code fences, nothing else."));
        QCOMPARE(body.value("messages").toArray(),
                 (QJsonArray{QJsonObject{{"role", "user"}, {"content", "Items:\n0: Résume ce texte\n1: Bonjour Marie, merci."}}}));
        QCOMPARE(rig.category(d[0].id), "ai_prompt");
        QCOMPARE(rig.category(d[1].id), "email");
        QCOMPARE(rig.category(d[2].id), std::nullopt); // blank: never sent
        QCOMPARE(rig.manager.lastSummary(), "2 dictées classées");
        QVERIFY(!rig.manager.isClassifying());
        QVERIFY(rig.log.contents().contains("[APP] APP categorization: 2 dictations classified"));
    }

    void batchesOfTwenty()
    {
        Rig rig;
        rig.add(45);
        rig.cloud.setDefaultReply(Rig::anthropic(allEmail()));
        awaitTask(rig.manager.classifyPending());
        QCOMPARE(rig.cloud.requests.size(), 3);
        QCOMPARE(rig.userText(0).count('\n'), 20); // "Items:" + 20 lines
        QCOMPARE(rig.userText(1).count('\n'), 20);
        QCOMPARE(rig.userText(2).count('\n'), 5);
        QVERIFY(rig.userText(2).endsWith("\n4: Écris une fonction"));
        QCOMPARE(rig.categorised(), 45);
        QCOMPARE(rig.manager.lastSummary(), "45 dictées classées");
    }

    void failingBatchKeepsEarlierOnes()
    {
        Rig rig;
        rig.add(45);
        rig.cloud.enqueue(Rig::anthropic(allEmail()));
        rig.cloud.enqueue(Reply::json(500, R"({"error":{"message":"overloaded"}})"));
        awaitTask(rig.manager.classifyPending());
        QCOMPARE(rig.cloud.requests.size(), 2);
        QCOMPARE(rig.categorised(), 20);
        QVERIFY(rig.log.contents().contains("APP categorization failed: overloaded"));
        QVERIFY(!rig.manager.isClassifying());
    }

    void unusableAnswersStoreNothing_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("stored");
        QTest::newRow("prose around the array") << QByteArray(R"(Voici : [{"i": 0, "category": "email"}] voilà)") << 1;
        QTest::newRow("fenced") << QByteArray("```json\n[{\"i\": 0, \"category\": \"document\"}]\n```") << 1;
        QTest::newRow("object, not array") << QByteArray(R"({"i": 0, "category": "email"})") << 0;
        QTest::newRow("position outside") << QByteArray(R"([{"i": 7, "category": "email"}, {"i": -1, "category": "email"}])") << 0;
        QTest::newRow("fractional position") << QByteArray(R"([{"i": 0.5, "category": "email"}])") << 0;
        QTest::newRow("unknown category") << QByteArray(R"([{"i": 0, "category": "poem"}])") << 0;
        QTest::newRow("wrong types") << QByteArray(R"([{"i": "0", "category": 3}])") << 0;
        QTest::newRow("1 MB of text") << QByteArray(1 << 20, 'x') << 0;
        QTest::newRow("broken JSON") << QByteArray(R"([{"i": 0, "category": "email")") << 0;
    }
    void unusableAnswersStoreNothing()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, stored);
        Rig rig;
        rig.add(2);
        rig.cloud.enqueue(Rig::anthropic(QString::fromUtf8(text)));
        awaitTask(rig.manager.classifyPending());
        QCOMPARE(rig.categorised(), stored);
        QCOMPARE(rig.manager.lastSummary(), QString::number(stored) + " dictées classées");
    }

    void invalidUtf8AnswerStoresNothing()
    {
        Rig rig;
        rig.add(1);
        rig.cloud.enqueue(Reply::json(200, "{\"content\":[{\"type\":\"text\",\"text\":\"[{\\\"i\\\": 0, \\\"category\\\": \\\"em\xff\xfeil\\\"}]\"}]}"));
        awaitTask(rig.manager.classifyPending());
        QCOMPARE(rig.categorised(), 0);
        QVERIFY(!rig.manager.isClassifying());
    }

    void thresholdStartsARun()
    {
        Rig rig;
        rig.cloud.setDefaultReply(Rig::anthropic(allEmail()));
        rig.add(19);
        rig.manager.maybeAutoClassify();
        QTest::qWait(50);
        QVERIFY(rig.cloud.requests.isEmpty());
        QVERIFY(!rig.log.contents().contains("seuil atteint"));
        rig.add(1);
        rig.manager.maybeAutoClassify();
        QTRY_COMPARE_WITH_TIMEOUT(rig.categorised(), 20, 10000);
        QTRY_VERIFY(!rig.manager.isClassifying());
        QVERIFY(rig.log.contents().contains("APP categorization: seuil atteint → auto-classification"));

        // Nothing runs without the chat client or the store.
        CategorizationManager bare{rig.onDevice, rig.settings, rig.log};
        bare.setModelContext(rig.store.get());
        rig.add(25);
        bare.maybeAutoClassify();
        awaitTask(bare.classifyPending());
        QCOMPARE(rig.cloud.requests.size(), 1);
    }

    void onDeviceUsesTheSchema()
    {
        Rig rig;
        rig.settings.setValue("mirelo.ai.categorization.providerRaw", "appleIntelligence");
        const auto d = rig.add({"Rappelle-moi le pain", "Écris un poème", "Salut maman"});
        rig.localAnswers(R"({"categories":["otherTask","aiPrompt"]})"); // one missing
        awaitTask(rig.manager.classifyPending());
        QVERIFY(rig.cloud.requests.isEmpty());
        const QJsonObject body = rig.lastLocalBody();
        const QJsonArray messages = body.value("messages").toArray();
        QCOMPARE(messages.at(0).toObject().value("content").toString(), CategorizationManager::onDeviceInstructions());
        QCOMPARE(messages.at(1).toObject().value("content").toString(),
                 "Classify EACH numbered item into exactly one category, in the SAME order.\nItems:\n"
                 "0: Rappelle-moi le pain\n1: Écris un poème\n2: Salut maman");
        QCOMPARE(body.value("max_tokens").toInt(), 1024);
        QCOMPARE(body.value("response_format").toObject().value("json_schema").toObject().value("schema").toObject(),
                 CategorizationManager::classificationSchema().schema);
        QCOMPARE(rig.category(d[0].id), "other_task");
        QCOMPARE(rig.category(d[1].id), "ai_prompt");
        QCOMPARE(rig.category(d[2].id), std::nullopt);
        QVERIFY(rig.store->fetch<APIUsageRecord>().isEmpty()); // no cost on this machine

        // Extra entries are ignored.
        rig.localAnswers(R"({"categories":["personalMessage","email","email"]})");
        awaitTask(rig.manager.classifyPending());
        QCOMPARE(rig.category(d[2].id), "personal_message");
    }

    void onDeviceUnavailable()
    {
        Rig rig;
        rig.settings.setValue("mirelo.ai.categorization.providerRaw", "appleIntelligence");
        rig.settings.setValue("ovra.mac.localModel", "");
        rig.add(2);
        awaitTask(rig.manager.classifyPending());
        QVERIFY(rig.local.requests.isEmpty());
        QCOMPARE(rig.categorised(), 0);
        QVERIFY(rig.log.contents().contains("APP categorization failed: Apple Intelligence unavailable"));
        const auto empty = awaitTask(rig.manager.classifyBatch({}, AIChoice{}));
        QCOMPARE(empty.error(), APIError::serverError(0, QString("Nothing to classify")));
    }
};

QTEST_GUILESS_MAIN(TestCategorizationManager)
#include "tst_categorizationmanager.moc"
