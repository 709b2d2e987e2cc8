#include "dictation/TranscriptionModelChoice.h"

#include <QTest>

using Provider = TranscriptionProvider;

class TestTranscriptionModelChoice : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void modelFor_data()
    {
        QTest::addColumn<int>("providerIndex");
        QTest::addColumn<QVariant>("asked"); // invalid: no model given
        QTest::addColumn<QString>("current");
        QTest::addColumn<QString>("model"); // empty with an error
        QTest::addColumn<QString>("error");
        const QVariant none;
        QTest::newRow("groq model kept for openai: its default instead")
            << int(Provider::openai) << none << "whisper-large-v3-turbo" << "gpt-4o-transcribe" << "";
        QTest::newRow("same provider again keeps the model")
            << int(Provider::groq) << none << "whisper-large-v3" << "whisper-large-v3" << "";
        QTest::newRow("gemini default") << int(Provider::gemini) << none << "whisper-1" << "gemini-2.5-flash" << "";
        QTest::newRow("offered model taken") << int(Provider::openai) << QVariant("whisper-1") << "x" << "whisper-1" << "";
        QTest::newRow("model of another provider refused with the list")
            << int(Provider::openai) << QVariant("whisper-large-v3-turbo") << "" << ""
            << "Le modèle « whisper-large-v3-turbo » n'est pas proposé par OpenAI. Modèles proposés : "
               "gpt-4o-transcribe, gpt-4o-mini-transcribe, whisper-1.";
        QTest::newRow("parakeet default") << int(Provider::parakeet) << none << "whisper-1" << "parakeet-tdt-0.6b-v3" << "";
        QTest::newRow("nemotron offered") << int(Provider::parakeet) << QVariant("nemotron-en-0.6b") << ""
                                          << "nemotron-en-0.6b" << "";
        QTest::newRow("whisper local default") << int(Provider::whisperKit) << none << "gpt-4o-transcribe"
                                               << "openai_whisper-tiny" << "";
        QTest::newRow("apple has no model") << int(Provider::apple) << none << "whisper-1" << "" << "";
        QTest::newRow("apple refuses a model") << int(Provider::apple) << QVariant("whisper-1") << "" << ""
                                               << "Apple Speech ne propose pas de choix de modèle.";
    }
    void modelFor()
    {
        QFETCH(int, providerIndex);
        const auto provider = Provider(providerIndex);
        QFETCH(QVariant, asked);
        QFETCH(QString, current);
        QFETCH(QString, model);
        QFETCH(QString, error);
        const auto got = TranscriptionModelChoice::modelFor(
            provider, asked.isValid() ? std::optional(asked.toString()) : std::nullopt, current);
        if (error.isEmpty()) {
            QVERIFY2(got, got ? "" : qPrintable(got.error()));
            QCOMPARE(*got, model);
        } else {
            QVERIFY(!got);
            QCOMPARE(got.error(), error);
        }
    }

    void everyOfferedListStartsWithItsDefault()
    {
        for (Provider p : allTranscriptionProviders()) {
            const QStringList models = TranscriptionModelChoice::offered(p);
            const auto chosen = TranscriptionModelChoice::modelFor(p, std::nullopt, QStringLiteral("none-such"));
            QVERIFY(chosen);
            QCOMPARE(*chosen, models.value(0));
        }
    }
};

QTEST_GUILESS_MAIN(TestTranscriptionModelChoice)
#include "tst_transcriptionmodelchoice.moc"
