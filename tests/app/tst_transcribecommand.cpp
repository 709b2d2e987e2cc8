// `ovra transcribe` as a user runs it: the real binary, keys in a real Secret Service, a mode
// with a prompt and a vocabulary set up from the terminal, and local servers answering for the
// speech-to-text and chat services.
#include "fakes/LocalHttpServer.h"
#include "fakes/WavHeader.h"
#include "store/RecordStore.h"

#include <QDataStream>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>

using Reply = LocalHttpServer::Reply;

namespace {

struct Run
{
    int code = -1;
    QString out;
    QString err;
};

// One second of a 440 Hz tone, 16 kHz mono 16-bit PCM.
void writeWav(const QString& path)
{
    QByteArray pcm;
    QDataStream samples(&pcm, QIODevice::WriteOnly);
    samples.setByteOrder(QDataStream::LittleEndian);
    for (int i = 0; i < 16000; ++i)
        samples << qint16(8000 * std::sin(2 * M_PI * 440 * i / 16000.0));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(wavHeader(quint32(pcm.size()), 16000, 1) + pcm);
}

} // namespace

class TestTranscribeCommand : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;
    LocalHttpServer m_server;

    // Runs the binary without blocking the event loop, so the local servers can answer.
    Run ovra(const QStringList& args, const QByteArray& input = {})
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_DATA_HOME", m_home.filePath("data"));
        env.insert("XDG_CONFIG_HOME", m_home.filePath("config"));
        env.insert("OVRA_OPENAI_BASE_URL", m_server.url());
        env.insert("OVRA_ANTHROPIC_BASE_URL", m_server.url());
        env.remove("OVRA_SECRET_STORE"); // the real Secret Service of the rig
        env.remove("DISPLAY");
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(OVRA_BINARY), args);
        p.write(input);
        p.closeWriteChannel();
        (void)QTest::qWaitFor([&] { return p.state() == QProcess::NotRunning; }, 60000);
        if (p.state() != QProcess::NotRunning) {
            p.kill();
            p.waitForFinished();
            return {};
        }
        return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
    }
    QList<Transcription> stored() const
    {
        auto store = RecordStore::open(m_home.filePath("data/ovra/ovra.sqlite"), {});
        return store ? store.value()->fetch<Transcription>({}, {{"createdAt", true}}) : QList<Transcription>{};
    }

private Q_SLOTS:
    void initTestCase()
    {
        QCOMPARE(ovra({"keys", "set", "openai"}, "sk-openai-test\n").code, 0);
        QCOMPARE(ovra({"keys", "set", "anthropic"}, "sk-ant-test\n").code, 0);
        QCOMPARE(ovra({"dictionary", "add", "Ovra", "--pronunciations", "ovrah",
                       "--scopes", "transcription,replacement,transformation"}).code, 0);
        QCOMPARE(ovra({"prompts", "add", "Courriel", "Mets en forme comme un courriel."}).code, 0);
        const Run mode = ovra({"modes", "add", "Pro", "--provider", "openai", "--model", "whisper-1", "--ai", "on",
                               "--ai-provider", "claude", "--ai-model", "claude-sonnet-4-6", "--preset", "Courriel",
                               "--language", "fr"});
        QCOMPARE(mode.code, 0);
        QVERIFY(!QUuid::fromString(mode.out.trimmed()).isNull());
        writeWav(m_home.filePath("speech.wav"));
    }

    void namedModeRunsTheWholePipeline()
    {
        m_server.requests.clear();
        m_server.enqueue(Reply::json(200, R"({"text":"bonjour ovrah, ça va"})"));
        // A plain literal: moc misreads \" inside raw strings.
        m_server.enqueue(Reply::json(200, "{\"content\":[{\"type\":\"text\",\"text\":\"Bonjour Ovra, ça va ?\\n"
                                          "<qm-meta>{\\\"fixes\\\": 2}</qm-meta>\"}],"
                                          "\"usage\":{\"input_tokens\":300,\"output_tokens\":20}}"));
        const Run r = ovra({"transcribe", m_home.filePath("speech.wav"), "--mode", "pro"});
        QCOMPARE(r.err, QString());
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, "Bonjour Ovra, ça va ?\n");

        QCOMPARE(m_server.requests.size(), 2);
        const auto& stt = m_server.requests[0];
        QCOMPARE(stt.target, "/v1/audio/transcriptions");
        QCOMPARE(stt.header("Authorization"), "Bearer sk-openai-test");
        QVERIFY(stt.body.contains("whisper-1"));
        QVERIFY(stt.body.contains("Vocabulary: Ovra (also: ovrah)."));
        const auto& chat = m_server.requests[1];
        QCOMPARE(chat.target, "/v1/messages");
        QCOMPARE(chat.header("x-api-key"), "sk-ant-test");
        QVERIFY(chat.body.startsWith("{\"model\":\"claude-sonnet-4-6\",\"max_tokens\":2048,\"system\":\"<vocabulary>"));
        QVERIFY(chat.body.contains("Mets en forme comme un courriel.\\n\\n<TRANSCRIPT>\\nbonjour Ovra, ça va\\n</TRANSCRIPT>"));

        const Transcription t = stored().last();
        QCOMPARE(t.text, "Bonjour Ovra, ça va ?");
        QCOMPARE(t.rawWhisperText, QString("bonjour ovrah, ça va"));
        QCOMPARE(t.afterReplacementsText, QString("bonjour Ovra, ça va"));
        QCOMPARE(t.aiOutputText, QString("Bonjour Ovra, ça va ?"));
        QCOMPARE(t.aiFixCount, 2);
        QVERIFY(t.enhancedByAI);
        QCOMPARE(t.modeName, "Pro");
        QCOMPARE(t.transcriptionProvider, "openai");
        QCOMPARE(t.transcriptionModel, "whisper-1");
        QVERIFY(std::abs(t.duration - 1.0) < 0.05);
        QVERIFY(t.transcriptionSeconds && t.aiSeconds);
        QVERIFY(std::abs(*t.aiCostUSD - (300 * 3.0 + 20 * 15.0) / 1e6) < 1e-12);
        QVERIFY(t.transcriptionCostUSD && *t.transcriptionCostUSD > 0);
    }

    void aiFailureKeepsTheTranscript()
    {
        m_server.enqueue(Reply::json(200, R"({"text":"encore ovrah"})"));
        m_server.enqueue(Reply::json(500, "oops"));
        const int before = int(stored().size());
        const Run r = ovra({"transcribe", m_home.filePath("speech.wav"), "--mode", "Pro"});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, "encore Ovra\n");
        QCOMPARE(r.err, "Amélioration IA échouée — transcription brute conservée. Service error (500). Try again "
                        "later.\n");
        QCOMPARE(stored().size(), before + 1);
        QVERIFY(!stored().last().enhancedByAI);
    }

    void overridesAndBadInput()
    {
        // Active mode (none made active: the first one) with one-off overrides, AI off on the way.
        QCOMPARE(ovra({"modes", "set", "Pro", "--ai", "off"}).code, 0);
        m_server.requests.clear();
        m_server.enqueue(Reply::json(200, R"({"text":"salut"})"));
        const Run r = ovra({"transcribe", m_home.filePath("speech.wav"), "--provider", "openai", "--model",
                            "gpt-4o-mini-transcribe", "--language", "fr"});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, "salut\n");
        QCOMPARE(m_server.requests.size(), 1);
        QVERIFY(m_server.requests[0].body.contains("gpt-4o-mini-transcribe"));
        QCOMPARE(stored().last().transcriptionModel, "gpt-4o-mini-transcribe");

        const int before = int(stored().size());
        QCOMPARE(ovra({"transcribe", m_home.filePath("missing.wav")}).code, 1);
        QCOMPARE(ovra({"transcribe", m_home.filePath("speech.wav"), "--mode", "Nope"}).code, 1);
        QCOMPARE(ovra({"transcribe", m_home.filePath("speech.wav"), "--provider", "deepgram"}).code, 2);
        QCOMPARE(ovra({"transcribe"}).code, 2);
        m_server.enqueue(Reply::json(401, R"({"error":{"message":"bad key"}})"));
        const Run denied = ovra({"transcribe", m_home.filePath("speech.wav")});
        QCOMPARE(denied.code, 1);
        QVERIFY(denied.err.contains("401"));
        QCOMPARE(stored().size(), before);
    }
};

QTEST_GUILESS_MAIN(TestTranscribeCommand)
#include "tst_transcribecommand.moc"
