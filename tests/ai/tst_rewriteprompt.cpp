#include "ai/AIProviderSettings.h"
#include "ai/PostProcessMetaParser.h"
#include "ai/RewritePrompt.h"

#include <QTemporaryDir>
#include <QTest>

class TestRewritePrompt : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void metaBlock_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("hasMeta");
        QTest::addColumn<int>("fixes");
        QTest::addColumn<QString>("category");

        QTest::newRow("sentence then block") << "Bonjour à tous.\n<qm-meta>{\"fixes\": 2}</qm-meta>"
                                             << "Bonjour à tous." << true << 2 << QString();
        QTest::newRow("spaces around the object")
            << "Texte.\n<qm-meta> \n {\"fixes\": 0, \"category\": \"email\", \"x\": [1]} \n</qm-meta>\n" << "Texte."
            << true << 0 << "email";
        QTest::newRow("block in the middle") << "Avant <qm-meta>{}</qm-meta> après" << "Avant  après" << true << -1
                                             << QString();
        QTest::newRow("malformed json is removed, meta absent")
            << "Texte.\n<qm-meta>{fixes: deux}</qm-meta>" << "Texte." << false << -1 << QString();
        QTest::newRow("non-integer fixes") << "Texte.<qm-meta>{\"fixes\": 2.5}</qm-meta>" << "Texte." << false << -1
                                           << QString();
        QTest::newRow("no block") << "  Just text.  " << "  Just text.  " << false << -1 << QString();
        QTest::newRow("unterminated block is cut") << "Texte utile.\n<qm-meta>{\"fixes\": 1}" << "Texte utile."
                                                   << false << -1 << QString();
        QTest::newRow("tag at the very start") << "<qm-meta>{\"fixes\": 1} reste" << "<qm-meta>{\"fixes\": 1} reste"
                                               << false << -1 << QString();
        QTest::newRow("closing tag without an object") << "Texte <qm-meta>oops</qm-meta>" << "Texte" << false << -1
                                                       << QString();
        QTest::newRow("empty answer") << "" << "" << false << -1 << QString();
        QTest::newRow("first of two blocks") << "A<qm-meta>{\"fixes\":1}</qm-meta>B<qm-meta>{\"fixes\":3}</qm-meta>"
                                             << "AB<qm-meta>{\"fixes\":3}</qm-meta>" << true << 1 << QString();
    }
    void metaBlock()
    {
        QFETCH(QString, answer);
        QFETCH(QString, text);
        QFETCH(bool, hasMeta);
        QFETCH(int, fixes);
        QFETCH(QString, category);
        const ParsedRewrite parsed = PostProcessMetaParser::parse(answer);
        QCOMPARE(parsed.text, text);
        QCOMPARE(parsed.meta.has_value(), hasMeta);
        if (hasMeta) {
            QCOMPARE(parsed.meta->fixes.value_or(-1), fixes);
            QCOMPARE(parsed.meta->category.value_or(QString()), category);
        }
    }

    void systemPromptParts()
    {
        const QString rules = RewritePrompt::contentGuard() + "\n\n" + RewritePrompt::outputDiscipline() + "\n\n" +
                              RewritePrompt::metaInstruction();
        RewriteRequest r = RewritePrompt::buildRewriteRequest({}, "le texte", {}, {});
        QCOMPARE(r.system, rules);
        QCOMPARE(r.messages, QList{ChatMessage::user("le texte")});

        r = RewritePrompt::buildRewriteRequest("Corrige.", "le texte", "<vocabulary>V</vocabulary>", "<learned-style>S");
        QCOMPARE(r.system, "<vocabulary>V</vocabulary>\n\n<learned-style>S\n\n" + rules);
        QCOMPARE(r.messages, QList{ChatMessage::user("Corrige.\n\n<TRANSCRIPT>\nle texte\n</TRANSCRIPT>")});

        r = RewritePrompt::buildRewriteRequest("P", "t", {}, "S");
        QCOMPARE(r.system, "S\n\n" + rules);

        QVERIFY(RewritePrompt::contentGuard().startsWith("IMPORTANT: The user's text below"));
        QVERIFY(RewritePrompt::metaInstruction().contains("format:\n<qm-meta>{\"fixes\": <integer>}</qm-meta>\n\nWhere"));
    }

    void learnedStyle()
    {
        const QUuid preset = QUuid::createUuid();
        auto rule = [](QString text, QString status, std::optional<QUuid> p, QString kind = "styleRule") {
            LearningSuggestion s;
            s.kindRaw = kind;
            s.statusRaw = status;
            s.suggestedPromptText = text;
            s.appliedToPresetID = p;
            return s;
        };
        const QList<LearningSuggestion> all{
            rule("  Tutoie le lecteur.\n", "accepted", preset), rule("Pending", "pending", preset),
            rule("Rejected", "rejected", preset),           rule("Global rule", "accepted", std::nullopt),
            rule("   ", "accepted", preset),                rule("Other preset", "accepted", QUuid::createUuid()),
            rule("Entry", "accepted", preset, "newEntry"),  rule("Phrases courtes.", "accepted", preset)};
        QCOMPARE(RewritePrompt::learnedStyleBlock(all, preset),
                 "<learned-style>\nApply these style preferences, learned from this user's past dictations:\n"
                 "- Tutoie le lecteur.\n- Phrases courtes.\n</learned-style>");
        QCOMPARE(RewritePrompt::learnedStyleBlock(all, std::nullopt),
                 "<learned-style>\nApply these style preferences, learned from this user's past dictations:\n"
                 "- Global rule\n</learned-style>");
        QCOMPARE(RewritePrompt::learnedStyleBlock({rule("Pending", "pending", std::nullopt)}, std::nullopt), QString());
    }

    void excerptRequest()
    {
        RewriteRequest r = RewritePrompt::buildExcerptRequest("Raccourcis", "un extrait", {});
        QVERIFY(r.system.startsWith("You are a text editor assistant."));
        QVERIFY(r.system.endsWith("\n\n" + RewritePrompt::contentGuard()));
        QCOMPARE(r.messages, QList{ChatMessage::user("Instruction: Raccourcis\n\nText to transform:\nun extrait")});
        r = RewritePrompt::buildExcerptRequest("I", "e", "La note");
        QVERIFY(r.system.contains(RewritePrompt::contentGuard() + "\n\nThe user is editing one excerpt"));
        QVERIFY(r.system.endsWith("nothing else.\n\n<note>\nLa note\n</note>"));
    }

    void resolution_data()
    {
        QTest::addColumn<QVariantMap>("settings");
        QTest::addColumn<int>("feature");
        QTest::addColumn<QString>("provider");
        QTest::addColumn<QString>("model");

        const int pp = int(AIFeature::postprocess);
        QTest::newRow("nothing set") << QVariantMap{} << pp << "claude" << "claude-haiku-4-5";
        QTest::newRow("global provider only")
            << QVariantMap{{"mirelo.ai.providerRaw", "gemini"}} << pp << "gemini" << "gemini-2.5-flash";
        QTest::newRow("global model taken as written")
            << QVariantMap{{"mirelo.ai.providerRaw", "openai"}, {"mirelo.ai.model", "gpt-custom"}} << pp << "openai"
            << "gpt-custom";
        QTest::newRow("invalid global provider")
            << QVariantMap{{"mirelo.ai.providerRaw", "mistral"}} << pp << "claude" << "claude-haiku-4-5";
        QTest::newRow("feature's own pair")
            << QVariantMap{{"mirelo.ai.providerRaw", "gemini"},
                           {"mirelo.ai.postprocess.providerRaw", "groq"},
                           {"mirelo.ai.postprocess.model", "qwen/qwen3.6-27b"}}
            << pp << "groq" << "qwen/qwen3.6-27b";
        QTest::newRow("feature model not offered by its provider")
            << QVariantMap{{"mirelo.ai.notes.providerRaw", "groq"}, {"mirelo.ai.notes.model", "gpt-5"}}
            << int(AIFeature::notes) << "groq" << "openai/gpt-oss-20b";
        QTest::newRow("invalid feature provider follows global")
            << QVariantMap{{"mirelo.ai.learning.providerRaw", "nope"},
                           {"mirelo.ai.learning.model", "gpt-5"},
                           {"mirelo.ai.providerRaw", "openai"}}
            << int(AIFeature::learning) << "openai" << "gpt-5.4-mini";
        QTest::newRow("on-device for categorisation")
            << QVariantMap{{"mirelo.ai.categorization.providerRaw", "appleIntelligence"}}
            << int(AIFeature::categorization) << "appleIntelligence" << "apple-on-device";
        QTest::newRow("prompt builder") << QVariantMap{{"mirelo.ai.promptBuilder.providerRaw", "openai"},
                                                       {"mirelo.ai.promptBuilder.model", "gpt-5"}}
                                        << int(AIFeature::promptBuilder) << "openai" << "gpt-5";
        QTest::newRow("mode icon") << QVariantMap{{"mirelo.ai.modeIcon.providerRaw", "claude"}}
                                   << int(AIFeature::modeIcon) << "claude" << "claude-haiku-4-5";
        QTest::newRow("non-string provider value")
            << QVariantMap{{"mirelo.ai.selectionTransform.providerRaw", 3}} << int(AIFeature::selectionTransform)
            << "claude" << "claude-haiku-4-5";
    }
    void resolution()
    {
        QFETCH(QVariantMap, settings);
        QFETCH(int, feature);
        QFETCH(QString, provider);
        QFETCH(QString, model);
        QTemporaryDir dir;
        Settings s(dir.path());
        for (auto it = settings.begin(); it != settings.end(); ++it)
            s.setValue(it.key(), it.value());
        const AIChoice c = AIProviderSettings::resolved(AIFeature(feature), s);
        QCOMPARE(rawValue(c.provider), provider);
        QCOMPARE(c.model, model);
    }

    void modeAndSelectionChoice()
    {
        QTemporaryDir dir;
        Settings s(dir.path());
        s.setValue("mirelo.ai.postprocess.providerRaw", "openai");
        TranscriptionMode mode;
        QCOMPARE(AIProviderSettings::forMode(mode, s), (AIChoice{AIProvider::openai, "gpt-5.4-mini"}));
        mode.aiOverrideProviderRaw = "gemini";
        mode.aiOverrideModel = "gemma-4-31b-it";
        QCOMPARE(AIProviderSettings::forMode(mode, s), (AIChoice{AIProvider::gemini, "gemma-4-31b-it"}));
        mode.aiOverrideModel = "unknown-model";
        QCOMPARE(AIProviderSettings::forMode(mode, s), (AIChoice{AIProvider::gemini, "gemini-2.5-flash"}));
        mode.aiOverrideProviderRaw = "bogus";
        QCOMPARE(AIProviderSettings::forMode(mode, s), (AIChoice{AIProvider::openai, "gpt-5.4-mini"}));

        mode.aiOverrideProviderRaw = "groq";
        QCOMPARE(AIProviderSettings::forSelectionTransform(mode, s), (AIChoice{AIProvider::groq, "openai/gpt-oss-20b"}));
        QCOMPARE(AIProviderSettings::forSelectionTransform(std::nullopt, s),
                 (AIChoice{AIProvider::claude, "claude-haiku-4-5"}));
        s.setValue("mirelo.ai.selectionTransform.providerRaw", "claude");
        s.setValue("mirelo.ai.selectionTransform.model", "claude-opus-5");
        QCOMPARE(AIProviderSettings::forSelectionTransform(mode, s), (AIChoice{AIProvider::claude, "claude-opus-5"}));
    }
};

QTEST_GUILESS_MAIN(TestRewritePrompt)
#include "tst_rewriteprompt.moc"
