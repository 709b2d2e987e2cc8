#include "store/Enums.h"
#include "store/RecordFields.h"
#include "store/Records.h"

#include <QTest>

class TestRecords : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void wordCount_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("words");
        QTest::newRow("empty") << QString() << 0;
        QTest::newRow("spaces only") << QStringLiteral("  \t\n ") << 0;
        QTest::newRow("plain") << QStringLiteral("un deux trois") << 3;
        QTest::newRow("runs of space") << QStringLiteral("  un   deux ") << 2;
        QTest::newRow("every separator")
            << QStringLiteral("a\nb\x0B" "c\fd\re\u0085f\u2028g\u2029h\u00A0i\u3000j") << 10;
    }
    void wordCount()
    {
        QFETCH(QString, text);
        QFETCH(int, words);
        QCOMPARE(::wordCount(text), words);
    }

    // What a reader calls one character, not UTF-16 code units.
    void characterCount_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("characters");
        QTest::newRow("empty") << QString() << 0;
        QTest::newRow("plain") << QStringLiteral("abc") << 3;
        QTest::newRow("precomposed é") << QStringLiteral("\u00E9t\u00E9") << 3;
        QTest::newRow("e + combining accent") << QStringLiteral("e\u0301te\u0301") << 3;
        QTest::newRow("emoji outside the BMP") << QStringLiteral("ok \U0001F600") << 4;
        QTest::newRow("family emoji sequence") << QStringLiteral("\U0001F468\u200D\U0001F469\u200D\U0001F467") << 1;
        QTest::newRow("flag") << QStringLiteral("\U0001F1EB\U0001F1F7") << 1;
        QTest::newRow("CR LF") << QStringLiteral("a\r\nb") << 3;
    }
    void characterCount()
    {
        QFETCH(QString, text);
        QFETCH(int, characters);
        QCOMPARE(::characterCount(text), characters);
    }

    void spokenTextPrefersRawThenReplaced()
    {
        Transcription t;
        t.text = QStringLiteral("final");
        QCOMPARE(t.spokenText(), QStringLiteral("final"));
        t.afterReplacementsText = QStringLiteral("replaced");
        QCOMPARE(t.spokenText(), QStringLiteral("replaced"));
        t.rawWhisperText = QStringLiteral(" \n ");
        QCOMPARE(t.spokenText(), QStringLiteral("replaced")); // blank raw text does not count
        t.rawWhisperText = QStringLiteral("raw words");
        QCOMPARE(t.spokenText(), QStringLiteral("raw words"));
    }

    void purgeKeepsCountsOfSpokenText()
    {
        Transcription t;
        t.text = QStringLiteral("Bonjour à tous.");
        t.rawWhisperText = QStringLiteral("bonjour a tous les amis");
        t.aiOutputText = QStringLiteral("x");
        t.userEditedText = QStringLiteral("y");
        t.afterReplacementsText = QStringLiteral("z");
        t.purgeContent();
        QCOMPARE(t.storedWordCount, 5);
        QCOMPARE(t.storedCharCount, 23);
        t.rawWhisperText = QStringLiteral("caf\u0065\u0301 \U0001F600");
        t.purgeContent();
        QCOMPARE(t.storedCharCount, 6);
        QVERIFY(t.text.isEmpty());
        QVERIFY(!t.rawWhisperText && !t.afterReplacementsText && !t.aiOutputText && !t.userEditedText);
        QVERIFY(t.purgedAt.has_value());
    }

    void pronunciationsTrimAndDropEmpty()
    {
        DictionaryEntry e;
        QCOMPARE(e.scopesRaw, DictionaryScopes::transcription | DictionaryScopes::transformation);
        QVERIFY(!(e.scopesRaw & DictionaryScopes::replacement));
        e.setPronunciations({QStringLiteral(" a "), QString(), QStringLiteral("b")});
        QCOMPARE(e.pronunciationsRaw, QStringLiteral("a,b"));
        QCOMPARE(e.pronunciations(), (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
        e.pronunciationsRaw.clear();
        QVERIFY(e.pronunciations().isEmpty());
    }

    void scopesNames()
    {
        QCOMPARE(DictionaryScopes::names(7), (QStringList{QStringLiteral("transcription"), QStringLiteral("replacement"),
                                                          QStringLiteral("transformation")}));
        QCOMPARE(DictionaryScopes::names(5),
                 (QStringList{QStringLiteral("transcription"), QStringLiteral("transformation")}));
        QCOMPARE(DictionaryScopes::fromNames({QStringLiteral("transformation"), QStringLiteral("bogus"),
                                              QStringLiteral("replacement")}),
                 6);
    }

    void noteDisplayTitle_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("content");
        QTest::addColumn<QString>("shown");
        QTest::newRow("title wins") << QStringLiteral("T") << QStringLiteral("body") << QStringLiteral("T");
        QTest::newRow("first line trimmed") << QString() << QStringLiteral("  Hello\nWorld") << QStringLiteral("Hello");
        QTest::newRow("both empty") << QString() << QString() << QStringLiteral("New note");
        QTest::newRow("blank first line") << QString() << QStringLiteral("   \nWorld") << QStringLiteral("New note");
    }
    void noteDisplayTitle()
    {
        QFETCH(QString, title);
        QFETCH(QString, content);
        QFETCH(QString, shown);
        Note n;
        n.title = title;
        n.content = content;
        QCOMPARE(n.displayTitle(), shown);
    }

    void jsonFieldDecoding_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QJsonValue>("json");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("int") << int(FieldType::Int) << QJsonValue(42) << true;
        QTest::newRow("int fractional") << int(FieldType::Int) << QJsonValue(4.5) << false;
        QTest::newRow("int too large") << int(FieldType::Int) << QJsonValue(1e300) << false;
        QTest::newRow("int as text") << int(FieldType::Int) << QJsonValue(QStringLiteral("4")) << false;
        QTest::newRow("date with ms") << int(FieldType::Date) << QJsonValue(QStringLiteral("2026-03-04T17:05:09.123Z"))
                                      << true;
        QTest::newRow("date without ms") << int(FieldType::Date) << QJsonValue(QStringLiteral("2026-03-04T17:05:09Z"))
                                         << true;
        QTest::newRow("date with a space") << int(FieldType::Date)
                                           << QJsonValue(QStringLiteral("2026-03-04 17:05:09Z")) << false;
        QTest::newRow("uuid lower case") << int(FieldType::Uuid)
                                         << QJsonValue(QStringLiteral("6ba7b810-9dad-11d1-80b4-00c04fd430c8")) << true;
        QTest::newRow("uuid garbage") << int(FieldType::Uuid) << QJsonValue(QStringLiteral("nope")) << false;
        QTest::newRow("bool as number") << int(FieldType::Bool) << QJsonValue(1) << false;
    }
    void jsonFieldDecoding()
    {
        QFETCH(int, type);
        QFETCH(QJsonValue, json);
        QFETCH(bool, accepted);
        const auto v = fieldFromJson(FieldType(type), json);
        QCOMPARE(v.has_value(), accepted);
        if (accepted) // what decodes survives an encode and decode unchanged
            QCOMPARE(fieldFromJson(FieldType(type), fieldToJson(FieldType(type), *v)), v);
    }

    void enumerationsRawValues()
    {
        QCOMPARE(rawValue(AIProvider::appleIntelligence), QStringLiteral("appleIntelligence"));
        QCOMPARE(allAIProviders().size(), 5);
        QStringList providers;
        for (auto p : allTranscriptionProviders())
            providers << rawValue(p);
        QCOMPARE(providers, (QStringList{QStringLiteral("groq"), QStringLiteral("openai"), QStringLiteral("apple"),
                                         QStringLiteral("parakeet"), QStringLiteral("whisperKit"),
                                         QStringLiteral("gemini")}));
        QCOMPARE(categoryFromRaw(QStringLiteral("work_message")), TranscriptionCategory::workMessage);
        QCOMPARE(label(TranscriptionCategory::workMessage), QStringLiteral("Work messages"));
        QVERIFY(!categoryFromRaw(QStringLiteral("Work messages")));
        QVERIFY(!aiProviderFromRaw(QStringLiteral("anthropic")));
        QVERIFY(!transcriptionProviderFromRaw(QString()));

        Transcription t;
        QVERIFY(!t.category());
        t.categoryRaw = QStringLiteral("unknown_kind");
        QVERIFY(!t.category());
    }
};

QTEST_GUILESS_MAIN(TestRecords)
#include "tst_records.moc"
