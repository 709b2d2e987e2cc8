// The learning analyser through the real chat client and on-device service against local
// servers: what reaches the model, how its answer becomes suggestions, what is stored.
#include "AIFeatureRig.h"
#include "ai/LearningAnalyzer.h"
#include "ai/LearningAutoTrigger.h"

#include <QTest>

using Reply = LocalHttpServer::Reply;
Q_DECLARE_METATYPE(LocalHttpServer::Reply)

namespace {

struct Rig : AIFeatureRig
{
    LearningAnalyzer analyzer{claude, onDevice, settings};

    Transcription add(const QString& text, std::optional<QString> edit = std::nullopt, int ageSeconds = 100)
    {
        Transcription t;
        t.text = text;
        t.rawWhisperText = text.toLower();
        t.afterReplacementsText = text.toLower() + " (r)";
        t.aiOutputText = text;
        t.userEditedText = std::move(edit);
        t.modeName = "Courriel";
        t.createdAt = QDateTime::currentDateTimeUtc().addSecs(-ageSeconds);
        (void)store->insert(t);
        return t;
    }
    LearningAnalyzer::Outcome run()
    {
        return awaitTask(analyzer.analyzeStore(*store));
    }
    int stamped() const
    {
        return int(store->fetch<Transcription>([](const Transcription& t) { return bool(t.analyzedAt); }).size());
    }
    QJsonObject sentPayload() const
    {
        const QJsonArray messages = lastCloudBody().value("messages").toArray();
        const QString user = messages.last().toObject().value("content").toString();
        const QString head = "Analyze this dataset and return suggestions per the format in the system prompt.\n\n";
        if (!user.startsWith(head))
            return {};
        return QJsonDocument::fromJson(user.mid(head.size()).toUtf8()).object();
    }
};

const QString kTwoSuggestions =
    R"({"suggestions": [{"kind": "styleRule", "title": "Signature", "rationale": "Toujours pareil.", "ruleText": "End e-mails with Merci."},)"
    R"({"kind": "newEntry", "title": "", "rationale": "Mal entendu.", "term": "Mirelo", "pronunciations": ["mire l’eau", " "], "replacement": null, "scopes": ["Transcription", "TRANSFORMATION", "other"]}]})";

Reply openAI(const QString& text)
{
    const QJsonObject message{{"content", text}};
    return Reply::json(200, QJsonDocument(QJsonObject{{"choices", QJsonArray{QJsonObject{{"message", message}}}}})
                                .toJson(QJsonDocument::Compact));
}

} // namespace

class TestLearningAnalyzer : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void preparedText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("scrub");
        QTest::addColumn<QString>("sent");
        QTest::newRow("phone and e-mail") << "Appelle 5145551234 ou écris à marie.l@exemple.ca, code 123" << true
                                          << "Appelle [NUM] ou écris à [EMAIL], code 123";
        QTest::newRow("four digits") << "En 2024" << true << "En [NUM]";
        QTest::newRow("scrub off") << "5145551234 a@b.c" << false << "5145551234 a@b.c";
        QTest::newRow("cut before scrubbing") << QString(1998, 'a') + "12345" << true << QString(1998, 'a') + "12";
        QTest::newRow("cut keeps whole characters")
            << QString(1999, 'a') + QString::fromUtf8("😀") << false << QString(1999, 'a');
    }
    void preparedText()
    {
        QFETCH(QString, text);
        QFETCH(bool, scrub);
        QFETCH(QString, sent);
        QCOMPARE(LearningAnalyzer::prepareText(text, scrub), sent);
    }

    void requestIsExact()
    {
        Rig rig;
        rig.settings.setValue("mirelo.ai.learning.providerRaw", "openai");
        rig.settings.setValue("mirelo.ai.learning.model", "gpt-5");
        DictionaryEntry entry;
        entry.term = "Québec";
        entry.setPronunciations({"kébec"});
        entry.isPinned = true;
        (void)rig.store->insert(entry);
        (void)rig.store->insert(PromptPreset{.name = "Courriel", .prompt = "Écris au 5145551234"});
        PromptPreset trashed{.name = "Vieux", .prompt = "x"};
        trashed.isTrashed = true;
        (void)rig.store->insert(trashed);
        const auto plain = rig.add("Bonjour", std::nullopt, 10);
        const auto corrected = rig.add("Salut toi", QString("Salut, toi."), 500);
        rig.cloud.enqueue(openAI(R"({"suggestions": []})"));
        const auto outcome = rig.run();
        QCOMPARE(outcome.cases, 2);
        QCOMPARE(rig.cloud.requests.size(), 1);
        QCOMPARE(rig.cloud.requests[0].target, "/v1/chat/completions");
        const QJsonObject body = rig.lastCloudBody();
        QCOMPARE(body.value("model").toString(), "gpt-5");
        QCOMPARE(body.value("max_completion_tokens").toInt(), 4096);
        const QJsonArray messages = body.value("messages").toArray();
        QCOMPARE(messages.size(), 2);
        QCOMPARE(messages.at(0).toObject().value("content").toString(), LearningAnalyzer::tuningPrompt());
        const QJsonObject expected{
            {"existingDictionary",
             QJsonArray{QJsonObject{{"term", "Québec"},
                                    {"pronunciations", QJsonArray{"kébec"}},
                                    {"scopes", QJsonArray{"transcription", "transformation"}},
                                    {"isPinned", true}}}},
            {"existingPrompts", QJsonArray{QJsonObject{{"name", "Courriel"}, {"prompt", "Écris au [NUM]"}}}},
            {"cases",
             QJsonArray{QJsonObject{{"raw", "salut toi"},
                                    {"afterReplace", "salut toi (r)"},
                                    {"aiOutput", "Salut toi"},
                                    {"userEdit", "Salut, toi."},
                                    {"edited", true},
                                    {"modeName", "Courriel"}},
                        QJsonObject{{"raw", "bonjour"},
                                    {"afterReplace", "bonjour (r)"},
                                    {"aiOutput", "Bonjour"},
                                    {"edited", false},
                                    {"modeName", "Courriel"}}}}};
        QCOMPARE(rig.sentPayload(), expected);
        // Nothing actionable: the dictations still count as analysed.
        QCOMPARE(outcome.kept, 0);
        QCOMPARE(rig.analyzer.lastError(), LearningAnalyzer::noSuggestionError());
        QCOMPARE(rig.stamped(), 2);
        QVERIFY(!rig.analyzer.isAnalyzing());
        QCOMPARE(LearningAnalyzer::outcomeMessage(outcome), "Aucune nouvelle suggestion.");
        Q_UNUSED(plain);
        Q_UNUSED(corrected);

        // French replies add the paragraph; nothing is left to analyse.
        rig.settings.setValue("mirelo.ai.respondInFrench", true);
        rig.add("Encore");
        rig.cloud.enqueue(openAI(R"({"suggestions": []})"));
        rig.run();
        QCOMPARE(rig.lastCloudBody().value("messages").toArray().at(0).toObject().value("content").toString(),
                 LearningAnalyzer::tuningPrompt() + LearningAnalyzer::frenchParagraph());
        QVERIFY(LearningAnalyzer::frenchParagraph().startsWith("\n\nLanguage: write ALL fields"));
        const auto none = rig.run();
        QCOMPARE(none.cases, 0);
        QCOMPARE(rig.cloud.requests.size(), 2);
        QCOMPARE(LearningAnalyzer::outcomeMessage(none), "Rien à analyser — corrige d'abord des dictées.");
    }

    void privacyScrubReachesTheModel_data()
    {
        QTest::addColumn<QVariant>("setting");
        QTest::addColumn<QString>("raw");
        QTest::newRow("absent counts as on") << QVariant() << "appelle [NUM] ou [EMAIL] à 18 h 30";
        QTest::newRow("on") << QVariant(true) << "appelle [NUM] ou [EMAIL] à 18 h 30";
        QTest::newRow("off") << QVariant(false) << "appelle 5145551234 ou jo@ex.ca à 18 h 30";
    }
    void privacyScrubReachesTheModel()
    {
        QFETCH(QVariant, setting);
        QFETCH(QString, raw);
        Rig rig;
        if (setting.isValid())
            rig.settings.setValue("mirelo.learning.privacyScrub", setting);
        rig.add("Appelle 5145551234 ou jo@ex.ca à 18 h 30");
        rig.cloud.enqueue(Rig::anthropic("{}"));
        rig.run();
        QCOMPARE(rig.sentPayload().value("cases").toArray().at(0).toObject().value("raw").toString(), raw);
    }

    void answersBecomeSuggestions_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QStringList>("kept"); // kind|title|text|pronunciations|scopes
        const QStringList both{"newEntry|Mirelo|Mirelo|mire l’eau|5", "styleRule|Signature|End e-mails with Merci.||0"};
        QTest::newRow("plain") << kTwoSuggestions << both;
        QTest::newRow("prose around") << "Voici mes suggestions :\n" + kTwoSuggestions + "\nBonne journée !" << both;
        QTest::newRow("fenced") << "```json\n" + kTwoSuggestions + "\n```" << both;
        QTest::newRow("empty term dropped")
            << R"({"suggestions":[{"kind":"newEntry","title":"T","rationale":"R","term":""}]})" << QStringList{};
        QTest::newRow("prompt text stands in")
            << R"({"suggestions":[{"kind":"styleRule","title":"","rationale":"R","ruleText":"","promptText":"Use lists."}]})"
            << QStringList{"styleRule|Style rule|Use lists.||0"};
        QTest::newRow("prompt adjustment is a style rule")
            << R"({"suggestions":[{"kind":"promptAdjustment","title":"P","rationale":"R","promptText":"Be brief."}]})"
            << QStringList{"styleRule|P|Be brief.||0"};
        QTest::newRow("unknown kind and empty rule dropped")
            << R"({"suggestions":[{"kind":"NewEntry","title":"T","rationale":"R","term":"x"},{"kind":"styleRule","title":"T","rationale":"R"}]})"
            << QStringList{};
    }
    void answersBecomeSuggestions()
    {
        QFETCH(QString, answer);
        QFETCH(QStringList, kept);
        Rig rig;
        rig.add("Bonjour");
        rig.cloud.enqueue(Rig::anthropic(answer));
        const auto outcome = rig.run();
        QStringList got;
        for (const LearningSuggestion& s :
             rig.store->fetch<LearningSuggestion>({}, {SortKey{"kindRaw", true}})) {
            QCOMPARE(s.statusRaw, "pending");
            const QString text = s.kindRaw == "newEntry" ? s.suggestedTerm.value_or("") : s.suggestedPromptText.value_or("");
            got << QStringList{s.kindRaw, s.title, text, s.suggestedPronunciationsRaw.value_or(""),
                               QString::number(s.suggestedScopesRaw)}
                       .join('|');
        }
        QCOMPARE(got, kept);
        QCOMPARE(outcome.kept, int(kept.size()));
        QCOMPARE(rig.stamped(), 1);
        QCOMPARE(rig.analyzer.lastError().has_value(), kept.isEmpty());
        if (!kept.isEmpty())
            QCOMPARE(LearningAnalyzer::outcomeMessage(outcome), QString::number(kept.size()) + " suggestion(s) à examiner.");
    }

    void unreadableAnswersAndErrorsStoreNothing_data()
    {
        QTest::addColumn<Reply>("reply");
        QTest::addColumn<QString>("error");
        const QString none = LearningAnalyzer::noSuggestionError();
        QTest::newRow("no braces") << Rig::anthropic("Je n’ai rien trouvé.") << none;
        QTest::newRow("wrong shape") << Rig::anthropic(R"({"suggestions": {"kind": "styleRule"}})") << none;
        QTest::newRow("wrong field type")
            << Rig::anthropic(R"({"suggestions":[{"kind":"styleRule","title":3,"rationale":"R","ruleText":"x"}]})") << none;
        QTest::newRow("1 MB of text") << Rig::anthropic(QString(1 << 20, 'x') + "{") << none;
        QTest::newRow("two objects") << Rig::anthropic(R"({"suggestions": []} puis {"suggestions": []})") << none;
        QTest::newRow("request error") << Reply::json(529, R"({"error":{"message":"Overloaded"}})")
                                       << "Service error (529): Overloaded";
    }
    void unreadableAnswersAndErrorsStoreNothing()
    {
        QFETCH(Reply, reply);
        QFETCH(QString, error);
        Rig rig;
        rig.add("Bonjour", QString("Bonjour !"));
        rig.cloud.enqueue(reply);
        rig.run();
        QCOMPARE(rig.analyzer.lastError(), error);
        QVERIFY(rig.store->fetch<LearningSuggestion>().isEmpty());
        QCOMPARE(rig.stamped(), 0); // tried again next time
        QVERIFY(!rig.analyzer.isAnalyzing());
    }

    void casesAreCorrectionsFirstThenNewest()
    {
        QList<Transcription> all;
        for (int i = 0; i < 40; ++i)
            all << Transcription{.text = QString::number(i), .createdAt = QDateTime::currentDateTimeUtc().addSecs(-i)};
        all[35].userEditedText = "corrigé";
        all[3].analyzedAt = QDateTime::currentDateTimeUtc();
        all[4].text = "  ";
        const auto cases = LearningAnalyzer::selectCases(all, 30);
        QCOMPARE(cases.size(), 30);
        QCOMPARE(cases[0].text, "35");
        QCOMPARE(cases[1].text, "0");
        QCOMPARE(cases[3].text, "2");
        QCOMPARE(cases[4].text, "5");
    }

    void onDeviceFillsTheSchema()
    {
        Rig rig;
        rig.settings.setValue("mirelo.ai.learning.providerRaw", "appleIntelligence");
        rig.add("Bonjour");
        rig.localAnswers(R"({"suggestions":[{"kind":"newEntry","title":"Ajouter Mirelo","rationale":"R","term":"Mirelo","replacement":"","ruleText":""},)"
                         R"({"kind":"styleRule","title":"T","rationale":"R","term":"","replacement":"","ruleText":"Be brief."}]})");
        const auto outcome = rig.run();
        QCOMPARE(outcome.kept, 2);
        QVERIFY(rig.cloud.requests.isEmpty());
        const QJsonObject body = rig.lastLocalBody();
        QCOMPARE(body.value("max_tokens").toInt(), 4096);
        QCOMPARE(body.value("response_format").toObject().value("json_schema").toObject().value("name").toString(),
                 "GenSuggestionList");
        const QJsonObject kind = LearningAnalyzer::suggestionSchema()
                                     .schema.value("properties").toObject().value("suggestions").toObject()
                                     .value("items").toObject().value("properties").toObject().value("kind").toObject();
        QVERIFY(kind.value("description").toString().startsWith("\"newEntry\" for a vocabulary term to add"));
        const auto entry = rig.store->fetch<LearningSuggestion>([](const auto& s) { return s.kindRaw == "newEntry"; });
        QCOMPARE(entry.value(0).suggestedReplacement, std::nullopt);
        QVERIFY(rig.store->fetch<APIUsageRecord>().isEmpty());

        // A shape the schema does not allow is a failure, and nothing is stored.
        rig.add("Encore");
        rig.localAnswers(R"({"suggestions":"none"})");
        rig.run();
        QVERIFY(rig.analyzer.lastError()->startsWith("Apple Intelligence error: "));
        QCOMPARE(rig.store->fetch<LearningSuggestion>().size(), 2);
    }

    void automaticTrigger()
    {
        Rig rig;
        LearningAutoTrigger trigger{rig.analyzer, rig.settings};
        trigger.setModelContext(rig.store.get());
        rig.cloud.setDefaultReply(Rig::anthropic(kTwoSuggestions));
        rig.settings.setValue("mirelo.learning.threshold", 3);
        rig.add("Un");
        rig.add("Deux");
        rig.add("Trois");
        trigger.dictationStored(); // learning not enabled
        rig.settings.setValue("mirelo.learning.enabled", true);
        (void)rig.store->save([&]() -> StoreResult {
            auto first = rig.store->fetch<Transcription>().value(0);
            first.analyzedAt = QDateTime::currentDateTimeUtc();
            return rig.store->replace(first);
        });
        trigger.dictationStored(); // 2 waiting
        QTest::qWait(50);
        QVERIFY(rig.cloud.requests.isEmpty());
        rig.add("Quatre");
        trigger.dictationStored();
        QTRY_COMPARE_WITH_TIMEOUT(rig.stamped(), 4, 10000);
        QTRY_VERIFY(!rig.analyzer.isAnalyzing());
        QCOMPARE(rig.cloud.requests.size(), 1);
        QCOMPARE(rig.store->fetch<LearningSuggestion>().size(), 2);

        rig.settings.setValue("mirelo.learning.threshold", 0);
        QCOMPARE(trigger.threshold(), LearningAutoTrigger::kDefaultThreshold);
    }
};


QTEST_GUILESS_MAIN(TestLearningAnalyzer)
#include "tst_learninganalyzer.moc"
