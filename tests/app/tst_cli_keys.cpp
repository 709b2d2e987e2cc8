// `ovra keys` and `ovra transcribe` as a user runs them: the real binary, the Secret Service of
// tests/rigs/with-keyring.sh, and a local server standing in for the cloud.
#include "audio/AudioFixtures.h"
#include "fakes/AwaitTask.h"
#include "fakes/WavHeader.h"
#include "fakes/LocalHttpServer.h"

#include <QCoroProcess>
#include <QDataStream>
#include <QDirIterator>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QtMath>

using Reply = LocalHttpServer::Reply;

namespace {

struct Run
{
    int code = -1;
    QString out;
    QString err;
};

QCoro::Task<Run> runOvra(QStringList args, QByteArray input, QProcessEnvironment env)
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(OVRA_BINARY), args);
    p.write(input);
    p.closeWriteChannel();
    // The event loop keeps running meanwhile, so the in-process server answers.
    auto waiting = qCoro(p).waitForFinished(std::chrono::milliseconds(30000));
    const bool finished = co_await waiting;
    if (!finished) {
        p.kill();
        p.waitForFinished();
        co_return Run{-1, {}, QStringLiteral("timed out")};
    }
    co_return Run{p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}

// One second of a 440 Hz tone, 16 kHz mono 16-bit PCM.
QByteArray toneWav()
{
    QByteArray pcm;
    QDataStream s(&pcm, QIODevice::WriteOnly);
    s.setByteOrder(QDataStream::LittleEndian);
    for (int i = 0; i < 16000; ++i)
        s << qint16(8000 * qSin(2 * M_PI * 440 * i / 16000.0));
    return wavHeader(quint32(pcm.size()), 16000, 1) + pcm;
}

} // namespace

class TestCliKeys : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;
    LocalHttpServer m_server;

    Run ovra(const QStringList& args, const QByteArray& input = {}, const QStringList& overrides = {})
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("OVRA_SECRET_STORE")); // the real Secret Service of the rig
        env.insert(QStringLiteral("XDG_DATA_HOME"), m_home.filePath(QStringLiteral("data")));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.filePath(QStringLiteral("config")));
        for (const char* var : {"OVRA_GROQ_BASE_URL", "OVRA_OPENAI_BASE_URL", "OVRA_GEMINI_BASE_URL", "OVRA_ANTHROPIC_BASE_URL"})
            env.insert(QString::fromLatin1(var), m_server.url());
        for (const QString& o : overrides)
            env.insert(o.section(QLatin1Char('='), 0, 0), o.section(QLatin1Char('='), 1));
        return awaitTask(runOvra(args, input, env));
    }
    QByteArray everythingStored()
    {
        QByteArray all;
        QDirIterator it(m_home.path(), QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile f(it.next());
            if (f.open(QIODevice::ReadOnly))
                all += f.readAll();
        }
        return all;
    }
    QString writeFile(const QString& name, const QByteArray& bytes)
    {
        QFile f(m_home.filePath(name));
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        return f.fileName();
    }

private Q_SLOTS:
    void keys()
    {
        QCOMPARE(ovra({"keys", "list"}).out, QString());
        const Run set = ovra({"keys", "set", "groq"}, "  gsk_cli_secret \n");
        QCOMPARE(set.code, 0);
        QVERIFY(!set.out.contains("gsk_cli_secret"));
        // An empty entry leaves the stored key as it is.
        const Run empty = ovra({"keys", "set", "groq"}, " \n");
        QCOMPARE(empty.code, 1);
        QVERIFY(!empty.err.isEmpty());
        QCOMPARE(ovra({"keys", "set", "mistral"}, "x").code, 2);
        QCOMPARE(ovra({"keys", "list"}).out, QString("groq\n"));

        m_server.enqueue(Reply::json(401, R"({"error":{"message":"Invalid API Key"}})"));
        const Run verify = ovra({"keys", "verify", "groq"});
        QCOMPARE(verify.code, 1);
        QCOMPARE(verify.out, QString("groq : Groq rejected this key\n"));
        QCOMPARE(m_server.requests.last().header("Authorization"), QByteArray("Bearer gsk_cli_secret"));

        m_server.enqueue(Reply::json(429, "{}"));
        const Run all = ovra({"keys", "verify"});
        QCOMPARE(all.code, 0);
        QCOMPARE(all.out, QString("groq : clé valide\n"));
        QCOMPARE(ovra({"keys", "verify", "openai"}).code, 1);

        // A malformed address override is reported as such, not as a bad key.
        QVERIFY(ovra({"keys", "set", "gemini"}, "AIza-cli\n").code == 0);
        const Run badURL = ovra({"keys", "verify", "gemini"}, {}, {"OVRA_GEMINI_BASE_URL=http//no host here"});
        QCOMPARE(badURL.code, 1);
        QCOMPARE(badURL.out,
                 QString("gemini : Adresse du service mal formée : « http//no host here » (OVRA_GEMINI_BASE_URL)\n"));
    }

    // Stands on its own: run alone, it sets every key it needs.
    void transcribe()
    {
        QVERIFY(ovra({"keys", "set", "openai"}, "sk-cli-openai\n").code == 0);
        QVERIFY(ovra({"keys", "set", "groq"}, "gsk_cli_secret\n").code == 0);
        const QString wav = writeFile("tone.wav", toneWav());
        m_server.enqueue(Reply::json(200, R"({"text":"Bonjour le monde"})"));
        const Run ok = ovra({"transcribe", wav, "--provider", "openai", "--model", "whisper-1", "--language", "fr-CA"});
        QCOMPARE(ok.err, QString());
        QCOMPARE(ok.code, 0);
        QCOMPARE(ok.out, QString("Bonjour le monde\n"));
        const auto& request = m_server.requests.last();
        QCOMPARE(request.target, QByteArray("/v1/audio/transcriptions"));
        QVERIFY(request.body.contains("name=\"language\"\r\n\r\nfr\r\n"));

        // A server error, then a fallback that cannot take French: the cloud error is the answer.
        m_server.enqueue(Reply::json(500, R"({"error":{"message":"boom"}})"));
        const Run failed = ovra({"transcribe", wav, "--provider", "openai", "--language", "fr-CA"});
        QCOMPARE(failed.code, 1);
        QCOMPARE(failed.err, QString("Service error (500): boom\n"));
        QVERIFY(QFile::exists(wav));

        // The same error on English speech: the system recogniser's text, and one line saying so.
        const QString speech = m_home.filePath("speech.wav");
        QVERIFY(AudioFixtures::speechWav(speech, "hello world this is a test"));
        m_server.enqueue(Reply::json(500, R"({"error":{"message":"boom"}})"));
        const Run fellBack = ovra({"transcribe", speech, "--provider", "openai", "--language", "en-US"});
        QCOMPARE(fellBack.code, 0);
        QVERIFY2(fellBack.out.contains("hello"), qPrintable(fellBack.out));
        QCOMPARE(fellBack.err, QString("OpenAI a échoué (Service error (500): boom) : texte produit en secours par "
                                       "Apple Speech.\n"));

        const Run missing = ovra({"transcribe", m_home.filePath("none.wav"), "--provider", "openai"});
        QCOMPARE(missing.code, 1);
        QVERIFY(!missing.err.isEmpty());
        const Run notAudio = ovra({"transcribe", writeFile("notes.txt", "just text"), "--provider", "openai"});
        QCOMPARE(notAudio.code, 1);
        QVERIFY(notAudio.err.contains("notes.txt"));
        // Without --provider the active mode is used: "Normal", on Groq (answering nonsense here).
        const Run normal = ovra({"transcribe", wav});
        QCOMPARE(normal.code, 1);
        QCOMPARE(m_server.requests.last().target, QByteArray("/openai/v1/audio/transcriptions"));

        // Keys never reach a file of ours, the journal included.
        const QByteArray stored = everythingStored();
        QVERIFY(!stored.contains("sk-cli-openai"));
        QVERIFY(!stored.contains("gsk_cli_secret"));
        QVERIFY(!ovra({"log"}).out.contains("sk-cli-openai"));
    }
};

QTEST_GUILESS_MAIN(TestCliKeys)
#include "tst_cli_keys.moc"
