#include "audio/AudioFixtures.h"
#include "platform/Bcp47.h"
#include "platform/SpeechEngine.h"
#include "transcription/AppleSpeechManager.h"

#include <QCoroTask>
#include <QTemporaryDir>
#include <QTest>

namespace {

class FakeEngine : public SpeechEngine
{
public:
    QStringList locales;
    Expected<QString, QString> answer = QString("bonjour");
    QString askedLocale;
    size_t samples = 0;

    QStringList supportedLocales() const override { return locales; }
    Expected<QString, QString> recognize(const QString& locale, std::span<const float> s) override
    {
        askedLocale = locale;
        samples = s.size();
        return answer;
    }
    Expected<std::unique_ptr<SpeechStream>, QString> openStream(const QString&) override
    {
        return unexpected(QString("no streams here"));
    }
};

} // namespace

class TestAppleSpeechManager : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    QString m_wav;

private Q_SLOTS:
    void initTestCase()
    {
        m_wav = m_dir.filePath("a.wav");
        QVERIFY(AudioFixtures::writeWav(m_wav, AudioFixtures::sine(1.0)));
    }

    void normalizesIdentifiers_data()
    {
        QTest::addColumn<QString>("in");
        QTest::addColumn<QString>("out");
        QTest::newRow("posix") << "fr_CA" << "fr-CA";
        QTest::newRow("lower") << "en-us" << "en-US";
        QTest::newRow("script") << "zh_hant_tw" << "zh-Hant-TW";
        QTest::newRow("encoding") << "de_DE.UTF-8@euro" << "de-DE";
        QTest::newRow("bare") << "EN" << "en";
    }
    void normalizesIdentifiers()
    {
        QFETCH(QString, in);
        QFETCH(QString, out);
        QCOMPARE(Bcp47::normalize(in), out);
    }

    // LANG=C.UTF-8 is Debian's default: the C locale counts as English.
    void autoIsTheSystemLocale_data()
    {
        QTest::addColumn<QString>("asked");
        QTest::addColumn<QString>("system");
        QTest::addColumn<QString>("tried");
        QTest::newRow("C") << "auto" << "C" << "en-US";
        QTest::newRow("POSIX") << "auto" << "POSIX" << "en-US";
        QTest::newRow("French") << "auto" << "fr_FR" << "fr_FR";
        QTest::newRow("explicit") << "de-DE" << "C" << "de-DE";
    }
    void autoIsTheSystemLocale()
    {
        QFETCH(QString, asked);
        QFETCH(QString, system);
        QFETCH(QString, tried);
        QCOMPARE(Bcp47::resolveAuto(asked, system), tried);
    }

    void findsTheLocale_data()
    {
        QTest::addColumn<QStringList>("installed");
        QTest::addColumn<QString>("asked");
        QTest::addColumn<QString>("used"); // empty: localeNotSupported
        QTest::newRow("fr-CA against fr_CA") << QStringList{"en_US", "fr_CA"} << "fr-CA" << "fr_CA";
        QTest::newRow("en-US against en-us") << QStringList{"en-us"} << "en-US" << "en-us";
        QTest::newRow("bare language") << QStringList{"en-US"} << "en" << "en-US";
        QTest::newRow("auto is the user's locale") << QStringList{"en-US", "fr-FR"} << "auto" << "fr-FR";
        QTest::newRow("other region") << QStringList{"en-US"} << "en-GB" << "";
        QTest::newRow("not installed") << QStringList{"en-US"} << "de-DE" << "";
        QTest::newRow("nothing installed") << QStringList{} << "en-US" << "";
    }
    void findsTheLocale()
    {
        QFETCH(QStringList, installed);
        QFETCH(QString, asked);
        QFETCH(QString, used);
        FakeEngine engine;
        engine.locales = installed;
        AppleSpeechManager manager(engine);
        auto text = AudioFixtures::await(manager.transcribe(m_wav, asked));
        if (used.isEmpty()) {
            QVERIFY(!text);
            QCOMPARE(text.error().kind, AppleSpeechError::Kind::localeNotSupported);
            QCOMPARE(text.error().message(),
                     QString("Apple Speech does not support \u201C%1\u201D on this device.").arg(asked));
        } else {
            OVRA_VERIFY_OK(text);
            QCOMPARE(text.value(), QString("bonjour"));
            QCOMPARE(engine.askedLocale, used);
            QVERIFY(engine.samples > 15000 && engine.samples < 17000);
        }
    }

    void errors_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("engineFails");
        QTest::addColumn<QString>("engineText");
        QTest::addColumn<QString>("message");
        QTest::newRow("nothing recognised") << "a.wav" << false << "  " << "Apple Speech returned no result.";
        QTest::newRow("model does not load")
            << "a.wav" << true << "" << "Apple Speech is temporarily unavailable. Try again in a moment.";
        QTest::newRow("not audio") << "notes.txt" << false << "x" << "Fichier audio illisible (notes.txt)";
        QTest::newRow("missing file") << "gone.m4a" << false << "x" << "Fichier audio introuvable";
    }
    void errors()
    {
        QFETCH(QString, file);
        QFETCH(bool, engineFails);
        QFETCH(QString, engineText);
        QFETCH(QString, message);
        if (file == "notes.txt") {
            QFile f(m_dir.filePath(file));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("hello");
        }
        FakeEngine engine;
        engine.locales = {"en-US"};
        engine.answer = engineFails ? Expected<QString, QString>(unexpected(QString("broken"))) : engineText;
        AppleSpeechManager manager(engine);
        auto text = AudioFixtures::await(manager.transcribe(m_dir.filePath(file), "en-US"));
        QVERIFY(!text);
        QVERIFY2(text.error().message().startsWith(message), qPrintable(text.error().message()));
    }
};

QTEST_GUILESS_MAIN(TestAppleSpeechManager)
#include "tst_applespeechmanager.moc"
