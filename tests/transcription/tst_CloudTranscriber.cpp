// Cloud speech-to-text requests against a local server: headers and multipart body byte for
// byte, the Gemini JSON request, reply decoding and error mapping, and key verification.
#include "ai/APIKeyVerifier.h"
#include "fakes/AwaitTask.h"
#include "fakes/LocalHttpServer.h"
#include "transcription/CloudTranscriber.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using Reply = LocalHttpServer::Reply;
using namespace std::chrono_literals;

namespace {

QByteArray randomBytes(qsizetype n)
{
    QByteArray b(n, '\0');
    QRandomGenerator gen(42);
    for (char& c : b)
        c = char(gen.bounded(256));
    return b;
}

struct Rig
{
    QTemporaryDir dir;
    LocalHttpServer server;
    APINetworkClient network{APINetworkClient::Config{{500ms, 3000ms}, {500ms, 3000ms}}};
    QHash<KeychainKey, QString> keys{{KeychainKey::openAIAPIKey, "sk-test-openai"},
                                     {KeychainKey::groqAPIKey, "gsk_test"},
                                     {KeychainKey::geminiAPIKey, "AIza-test"}};
    CloudTranscriber cloud{network,
                           [this](KeychainKey k) -> std::optional<QString> {
                               return keys.contains(k) ? std::optional<QString>(keys.value(k)) : std::nullopt;
                           },
                           ServiceHosts{server.url(), server.url(), server.url(), server.url()}, 2000ms};

    QString write(const QString& name, const QByteArray& bytes)
    {
        QFile f(dir.filePath(name));
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        return f.fileName();
    }
};

QByteArray field(const QByteArray& boundary, const QByteArray& name, const QByteArray& value)
{
    return "--" + boundary + "\r\nContent-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" + value + "\r\n";
}

} // namespace

class TestCloudTranscriber : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void multipartRequest_data()
    {
        QTest::addColumn<int>("provider");
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("hint");
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<QByteArray>("auth");
        QTest::addColumn<QByteArray>("languageField");
        QTest::newRow("openai fr-CA with hint") << int(TranscriptionProvider::openai) << "fr-CA" << "Ovra, Mirelo"
                                                << QByteArray("/v1/audio/transcriptions")
                                                << QByteArray("Bearer sk-test-openai") << QByteArray("fr");
        QTest::newRow("groq auto, empty hint") << int(TranscriptionProvider::groq) << "auto" << ""
                                               << QByteArray("/openai/v1/audio/transcriptions")
                                               << QByteArray("Bearer gsk_test") << QByteArray();
        QTest::newRow("groq FR-fr") << int(TranscriptionProvider::groq) << "FR-fr" << "" << QByteArray("/openai/v1/audio/transcriptions")
                                    << QByteArray("Bearer gsk_test") << QByteArray("fr");
        QTest::newRow("one-letter language") << int(TranscriptionProvider::openai) << "x" << ""
                                             << QByteArray("/v1/audio/transcriptions")
                                             << QByteArray("Bearer sk-test-openai") << QByteArray();
    }
    void multipartRequest()
    {
        QFETCH(int, provider);
        QFETCH(QString, language);
        QFETCH(QString, hint);
        QFETCH(QByteArray, path);
        QFETCH(QByteArray, auth);
        QFETCH(QByteArray, languageField);
        Rig rig;
        const QByteArray audio = randomBytes(70001);
        const QString file = rig.write("rec.wav", audio);
        rig.server.enqueue(Reply::json(200, R"({"text":"Bonjour tout le monde"})"));
        const auto text = awaitTask(rig.cloud.transcribeMultipart(TranscriptionProvider(provider), file, "whisper-large-v3",
                                                                  language, hint));
        QVERIFY2(text.hasValue(), qPrintable(text.hasValue() ? QString() : text.error().description()));
        QCOMPARE(text.value(), QString("Bonjour tout le monde"));
        QCOMPARE(rig.server.requests.size(), 1);
        const auto& r = rig.server.requests.first();
        QCOMPARE(r.method, QByteArray("POST"));
        QCOMPARE(r.target, path);
        QCOMPARE(r.header("Authorization"), auth);
        QCOMPARE(r.header("Accept-Encoding"), QByteArray("gzip"));
        const QByteArray contentType = r.header("Content-Type");
        const QRegularExpression shape("^multipart/form-data; boundary=(QM-[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12})$");
        const auto m = shape.match(QString::fromLatin1(contentType));
        QVERIFY2(m.hasMatch(), contentType.constData());
        const QByteArray b = m.captured(1).toLatin1();
        QByteArray expected = "--" + b + "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"audio.m4a\"\r\n" +
                              "Content-Type: audio/mp4\r\n\r\n" + audio + "\r\n" + field(b, "model", "whisper-large-v3");
        if (!languageField.isEmpty())
            expected += field(b, "language", languageField);
        expected += field(b, "temperature", "0") + field(b, "response_format", "json");
        if (!hint.isEmpty())
            expected += field(b, "prompt", hint.toUtf8());
        expected += "--" + b + "--\r\n";
        QCOMPARE(r.body.size(), expected.size());
        QVERIFY(r.body == expected);
        QCOMPARE(r.header("Content-Length").toLongLong(), expected.size());
    }

    void replies_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("gzip");
        QTest::addColumn<QString>("result"); // text, or the error message
        QTest::newRow("200") << 200 << QByteArray(R"({"text":" spaced "})") << false << " spaced ";
        QTest::newRow("200 gzip") << 200 << QByteArray(R"({"text":"compressé"})") << true << "compressé";
        QTest::newRow("200 not json") << 200 << QByteArray("<html>") << false
                                      << "Could not read the response from the server.";
        QTest::newRow("200 no text") << 200 << QByteArray(R"({"txt":"x"})") << false
                                     << "Could not read the response from the server.";
        QTest::newRow("401 envelope") << 401 << QByteArray(R"({"error":{"message":"Invalid API Key"}})") << false
                                      << "Service error (401): Invalid API Key";
        QTest::newRow("401 empty") << 401 << QByteArray() << false << "Service error (401). Try again later.";
        QTest::newRow("403 envelope no message") << 403 << QByteArray(R"({"error":{}})") << false
                                                 << "Service error (403). Try again later.";
        QTest::newRow("429") << 429 << QByteArray(R"({"error":{"message":"Rate limit"}})") << false
                             << "Service error (429): Rate limit";
        QTest::newRow("500 html") << 500 << QByteArray("<h1>oops</h1>") << false
                                  << "Service error (500). Try again later.";
    }
    void replies()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(bool, gzip);
        QFETCH(QString, result);
        Rig rig;
        Reply reply = Reply::json(status, body);
        reply.gzip = gzip;
        rig.server.enqueue(reply);
        const QString file = rig.write("a.m4a", "abc");
        const auto text = awaitTask(
            rig.cloud.transcribeMultipart(TranscriptionProvider::openai, file, "whisper-1", "fr", std::nullopt));
        QCOMPARE(text.hasValue() ? text.value() : text.error().description(), result);
        if (status == 401 && !body.isEmpty()) {
            QCOMPARE(text.error().api.kind(), APIError::Kind::serverError);
            QCOMPARE(text.error().api.status(), 401);
        }
    }

    void missingKeyAndUnreadableFileSendNothing()
    {
        Rig rig;
        rig.keys.clear();
        const QString file = rig.write("a.m4a", "abc");
        auto groq = awaitTask(rig.cloud.transcribeMultipart(TranscriptionProvider::groq, file, "m", "fr", std::nullopt));
        QCOMPARE(groq.error().description(), QString("Add your Groq API key in the Models tab."));
        auto openai = awaitTask(rig.cloud.transcribeMultipart(TranscriptionProvider::openai, file, "m", "fr", std::nullopt));
        QCOMPARE(openai.error().description(), QString("Add your OpenAI API key in the Models tab."));
        auto gemini = awaitTask(rig.cloud.transcribeGemini(file, "gemini-2.5-flash", "fr", std::nullopt));
        QCOMPARE(gemini.error().description(), QString("Add your Google Gemini API key in the Models tab."));

        Rig withKeys;
        auto missing = awaitTask(withKeys.cloud.transcribeGemini(withKeys.dir.filePath("none.wav"), "gemini-2.5-flash",
                                                                 "fr", std::nullopt));
        QCOMPARE(missing.error().kind, TranscriptionError::Kind::file);
        QVERIFY(missing.error().description().startsWith("Impossible de lire le fichier audio « none.wav » : "));
        auto dir = awaitTask(withKeys.cloud.transcribeMultipart(TranscriptionProvider::openai, withKeys.dir.path(), "m",
                                                                "fr", std::nullopt));
        QCOMPARE(dir.error().kind, TranscriptionError::Kind::file);
        QVERIFY(rig.server.requests.isEmpty());
        QVERIFY(withKeys.server.requests.isEmpty());
    }

    void geminiRequest_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("model");
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("hint");
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<QString>("mime");
        QTest::addColumn<QString>("prompt");
        const QString fr = "Transcribe this audio recording verbatim in French. Output ONLY the transcription text — no "
                           "preamble, no notes, no quotes.";
        const QString any = "Transcribe this audio recording verbatim in the spoken language. Output ONLY the "
                            "transcription text — no preamble, no notes, no quotes.";
        QTest::newRow("wav, fr-FR, hint") << "rec.WAV" << "gemini-3.5-flash" << "fr-FR" << "Ovra \"Mirelo\""
                                          << QByteArray("/v1beta/models/gemini-3.5-flash:generateContent")
                                          << "audio/wav"
                                          << fr + "\nThe speaker may use these specific terms/names — spell them exactly "
                                                  "like this when heard: Ovra \"Mirelo\"";
        QTest::newRow("m4a, auto, other model") << "rec.m4a" << "gpt-4o-transcribe" << "auto" << ""
                                                << QByteArray("/v1beta/models/gemini-2.5-flash:generateContent")
                                                << "audio/mp4" << any;
    }
    void geminiRequest()
    {
        QFETCH(QString, fileName);
        QFETCH(QString, model);
        QFETCH(QString, language);
        QFETCH(QString, hint);
        QFETCH(QByteArray, path);
        QFETCH(QString, mime);
        QFETCH(QString, prompt);
        Rig rig;
        // Sizes around the Base64 group boundaries and the network stack's read blocks.
        const QByteArray audio = randomBytes(300001);
        const QString file = rig.write(fileName, audio);
        rig.server.enqueue(Reply::json(
            200, R"({"candidates":[{"content":{"parts":[{"text":"\n  Bonjour.  \n"},{"text":"x"}]}}],"usageMetadata":{}})"));
        const auto text = awaitTask(rig.cloud.transcribeGemini(file, model, language,
                                                               hint.isEmpty() ? std::nullopt : std::optional(hint)));
        QVERIFY2(text.hasValue(), qPrintable(text.hasValue() ? QString() : text.error().description()));
        QCOMPARE(text.value(), QString("Bonjour."));
        const auto& r = rig.server.requests.first();
        QCOMPARE(r.target, path);
        QCOMPARE(r.header("x-goog-api-key"), QByteArray("AIza-test"));
        QCOMPARE(r.header("Content-Type"), QByteArray("application/json"));
        QCOMPARE(r.headerCount("Authorization"), 0);
        QJsonParseError error;
        const QJsonObject root = QJsonDocument::fromJson(r.body, &error).object();
        QCOMPARE(error.error, QJsonParseError::NoError);
        QCOMPARE(root.keys(), QStringList{"contents"});
        const QJsonArray parts = root["contents"].toArray()[0].toObject()["parts"].toArray();
        QCOMPARE(parts.size(), 2);
        QCOMPARE(parts[0].toObject().keys(), QStringList{"text"});
        QCOMPARE(parts[0].toObject()["text"].toString(), prompt);
        const QJsonObject inlineData = parts[1].toObject()["inline_data"].toObject();
        QCOMPARE(inlineData["mime_type"].toString(), mime);
        QCOMPARE(inlineData["data"].toString().toLatin1(), audio.toBase64());
    }

    void geminiReplies_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("message");
        QTest::newRow("empty candidates") << 200 << QByteArray(R"({"candidates":[]})")
                                          << "Could not read the response from the server.";
        QTest::newRow("no candidates") << 200 << QByteArray("{}") << "Could not read the response from the server.";
        QTest::newRow("no parts") << 200 << QByteArray(R"({"candidates":[{"content":{}}]})")
                                  << "Could not read the response from the server.";
        QTest::newRow("part without text") << 200 << QByteArray(R"({"candidates":[{"content":{"parts":[{}]}}]})")
                                           << "Could not read the response from the server.";
        QTest::newRow("truncated json") << 200 << QByteArray(R"({"candidates":[{"content")")
                                        << "Could not read the response from the server.";
        QTest::newRow("400 envelope") << 400 << QByteArray(R"({"error":{"code":400,"message":"API key not valid."}})")
                                      << "Service error (400): API key not valid.";
    }
    void geminiReplies()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, message);
        Rig rig;
        rig.server.enqueue(Reply::json(status, body));
        const auto text =
            awaitTask(rig.cloud.transcribeGemini(rig.write("a.wav", "RIFF"), "gemini-2.5-flash", "fr", std::nullopt));
        QVERIFY(!text.hasValue());
        QCOMPARE(text.error().description(), message);
    }

    void verification_data()
    {
        QTest::addColumn<QString>("provider");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("message"); // empty: accepted
        QTest::newRow("groq 200") << "groq" << 200 << QByteArray("{}") << "";
        QTest::newRow("groq 429 is valid") << "groq" << 429 << QByteArray() << "";
        QTest::newRow("openai 401") << "openai" << 401 << QByteArray() << "OpenAI rejected this key";
        QTest::newRow("openai 403") << "openai" << 403 << QByteArray(R"({"error":{"message":"x"}})")
                                    << "OpenAI rejected this key";
        QTest::newRow("anthropic 400 message") << "anthropic" << 400
                                               << QByteArray(R"({"type":"error","error":{"message":"bad header"}})")
                                               << "Error 400: bad header";
        QTest::newRow("anthropic 400 empty") << "anthropic" << 400 << QByteArray() << "Error 400";
        QTest::newRow("gemini 500 not json") << "gemini" << 500 << QByteArray("<html>") << "Error 500";
    }
    void verification()
    {
        QFETCH(QString, provider);
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, message);
        Rig rig;
        rig.server.enqueue(Reply::json(status, body));
        APIKeyVerifier verifier(rig.network, ServiceHosts{rig.server.url(), rig.server.url(), rig.server.url(), rig.server.url()});
        const QString key = "k+y/=&é 1";
        const auto result = awaitTask(verifier.verify(*CloudProviderCatalog::find(provider), key));
        QVERIFY(result.hasValue());
        QCOMPARE(result.value().value_or(QString()), message);
        const auto& r = rig.server.requests.first();
        QCOMPARE(r.method, QByteArray("GET"));
        if (provider == "groq") {
            QCOMPARE(r.target, QByteArray("/openai/v1/models"));
            QCOMPARE(r.header("Authorization"), "Bearer " + key.toUtf8());
        } else if (provider == "openai") {
            QCOMPARE(r.target, QByteArray("/v1/models"));
            QCOMPARE(r.header("Authorization"), "Bearer " + key.toUtf8());
        } else if (provider == "anthropic") {
            QCOMPARE(r.target, QByteArray("/v1/models"));
            QCOMPARE(r.header("x-api-key"), key.toUtf8());
            QCOMPARE(r.header("anthropic-version"), QByteArray("2023-06-01"));
        } else {
            QCOMPARE(r.target, QByteArray("/v1beta/models?key=k%2By%2F%3D%26%C3%A9%201"));
            QCOMPARE(r.headerCount("Authorization"), 0);
        }
    }

    void verificationFaults()
    {
        Rig rig;
        APIKeyVerifier verifier(rig.network, ServiceHosts{rig.server.url(), rig.server.url(), rig.server.url(), rig.server.url()},
                                300ms);
        // The backup password is not checked against anything.
        CloudProviderInfo backup = *CloudProviderCatalog::find("groq");
        backup.keychainKey = KeychainKey::backupPassword;
        QCOMPARE(awaitTask(verifier.verify(backup, "pw")).value(), std::optional<QString>("Not an API provider key"));
        QVERIFY(rig.server.requests.isEmpty());
        // A server that never answers ends at the verifier's own time-out, as a transport error.
        rig.server.setDefaultReply(Reply::stall());
        const auto stalled = awaitTask(verifier.verify(*CloudProviderCatalog::find("openai"), "sk"));
        QVERIFY(!stalled.hasValue());
        QCOMPARE(stalled.error().urlError()->code, URLError::Code::timedOut);
    }

    void catalogue()
    {
        const auto& all = CloudProviderCatalog::all();
        QCOMPARE(all.size(), 4);
        QStringList ids, names, icons, consoles;
        for (const auto& p : all) {
            ids << p.id;
            names << p.displayName;
            icons << p.icon;
            consoles << p.consoleURL.path();
        }
        QCOMPARE(ids, (QStringList{"groq", "openai", "anthropic", "gemini"}));
        QCOMPARE(names, (QStringList{"Groq", "OpenAI", "Anthropic", "Google Gemini"}));
        QCOMPARE(icons, (QStringList{"bolt.fill", "sparkles", "brain.head.profile", "g.circle.fill"}));
        QCOMPARE(consoles, (QStringList{"/keys", "/api-keys", "/settings/keys", "/apikey"}));
        QCOMPARE(all[0].transcriptionModels, (QStringList{"whisper-large-v3-turbo", "whisper-large-v3"}));
        QCOMPARE(all[1].transcriptionModels, (QStringList{"gpt-4o-transcribe", "gpt-4o-mini-transcribe", "whisper-1"}));
        QVERIFY(all[2].transcriptionModels.isEmpty());
        QCOMPARE(all[3].transcriptionModels, (QStringList{"gemini-2.5-flash", "gemini-3.5-flash"}));
        QCOMPARE(all[0].aiModels, (QStringList{"openai/gpt-oss-120b", "openai/gpt-oss-20b", "qwen/qwen3.6-27b"}));
        QCOMPARE(all[1].aiModels.size(), 12);
        QCOMPARE(all[2].aiModels.first(), QString("claude-fable-5"));
        QCOMPARE(all[3].aiModels.last(), QString("gemma-4-26b-a4b-it"));
        QCOMPARE(all[3].keychainKey, KeychainKey::geminiAPIKey);
    }
};

QTEST_GUILESS_MAIN(TestCloudTranscriber)
#include "tst_CloudTranscriber.moc"
