// The on-device model service against a local server answering like Ollama's and llama.cpp's
// OpenAI-compatible endpoints.
#include "ai/AppleIntelligenceService.h"
#include "fakes/AwaitTask.h"
#include "fakes/LocalHttpServer.h"
#include "network/APINetworkClient.h"
#include "store/Settings.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>

using Reply = LocalHttpServer::Reply;
Q_DECLARE_METATYPE(LocalHttpServer::Reply)

namespace {

const QByteArray kOllamaModels =
    R"({"object":"list","data":[{"id":"llama3.2:latest","object":"model","created":1733000000,"owned_by":"library"},)"
    R"({"id":"qwen2.5:7b","object":"model","created":1733000000,"owned_by":"library"}]})";

QByteArray completion(const QString& content, const char* finish = "stop")
{
    const QJsonObject choice{{"index", 0},
                             {"message", QJsonObject{{"role", "assistant"}, {"content", content}}},
                             {"finish_reason", finish}};
    return QJsonDocument(QJsonObject{{"id", "chatcmpl-7"},
                                     {"object", "chat.completion"},
                                     {"model", "llama3.2"},
                                     {"choices", QJsonArray{choice}}})
        .toJson(QJsonDocument::Compact);
}

const GenerationSchema kSchema{
    "GenClassificationBatch",
    QJsonObject{{"type", "object"},
                {"required", QJsonArray{"categories"}},
                {"properties",
                 QJsonObject{{"categories",
                              QJsonObject{{"type", "array"},
                                          {"items", QJsonObject{{"type", "string"},
                                                                {"enum", QJsonArray{"email", "document"}}}}}}}}}};

// A port nothing listens on.
quint16 closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

// Generous time-outs: the server answers from this same event loop, which a loaded machine slows.
struct Rig
{
    LocalHttpServer server;
    APINetworkClient network;
    QString model = "llama3.2";
    QString base = server.url();
    AppleIntelligenceService service{network, [this] { return AppleIntelligenceService::Config{QUrl(base), model}; },
                                     AppleIntelligenceService::Timeouts{std::chrono::milliseconds(3000),
                                                                        std::chrono::milliseconds(10000)}};

    Expected<QString, APIError> respond(QList<ChatMessage> messages, std::optional<QString> system = std::nullopt)
    {
        return awaitTask(service.respond(std::move(messages), std::move(system), 512));
    }
};

APIError failure(const QString& message) { return APIError::serverError(0, message); }

} // namespace

class TestAppleIntelligenceService : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void promptText_data()
    {
        QTest::addColumn<QList<ChatMessage>>("messages");
        QTest::addColumn<QString>("prompt");
        QTest::newRow("one user message") << QList<ChatMessage>{ChatMessage::user("Bonjour")} << "User: Bonjour";
        QTest::newRow("turns") << QList<ChatMessage>{{"user", "Q1"}, {"assistant", "A1"}, {"system", "odd"}, {"user", "Q2"}}
                               << "User: Q1\n\nAssistant: A1\n\nUser: odd\n\nUser: Q2";
        QTest::newRow("none") << QList<ChatMessage>{} << "";
    }
    void promptText()
    {
        QFETCH(QList<ChatMessage>, messages);
        QFETCH(QString, prompt);
        QCOMPARE(AppleIntelligenceService::promptText(messages), prompt);
    }

    void respondSendsOnePromptUnderTheInstructions()
    {
        Rig rig;
        rig.server.enqueue(Reply::json(200, kOllamaModels));
        rig.server.enqueue(Reply::json(200, completion("Salut !")));
        const auto answer = rig.respond({{"user", "Q1"}, {"assistant", "A1"}}, QString("Sois bref."));
        QVERIFY2(answer, qPrintable(answer ? QString() : answer.error().errorDescription()));
        QCOMPARE(answer.value(), "Salut !");
        QCOMPARE(rig.server.requests.size(), 2);
        QCOMPARE(rig.server.requests[0].method, "GET");
        QCOMPARE(rig.server.requests[0].target, "/v1/models");
        QCOMPARE(rig.server.requests[1].target, "/v1/chat/completions");
        QCOMPARE(rig.server.requests[1].header("Content-Type"), "application/json");
        QCOMPARE(rig.server.requests[1].body,
                 QByteArray(R"({"max_tokens":512,"messages":[{"content":"Sois bref.","role":"system"},)"
                            R"({"content":"User: Q1\n\nAssistant: A1","role":"user"}],"model":"llama3.2","stream":false})"));
        QCOMPARE(rig.service.availabilityMessage(), std::nullopt);

        // No instructions: no system turn.
        rig.server.enqueue(Reply::json(200, kOllamaModels));
        rig.server.enqueue(Reply::json(200, completion("ok")));
        QVERIFY(rig.respond({ChatMessage::user("x")}));
        QCOMPARE(rig.server.requests.last().body,
                 QByteArray(R"({"max_tokens":512,"messages":[{"content":"User: x","role":"user"}],)"
                            R"("model":"llama3.2","stream":false})"));
    }

    void availability_data()
    {
        QTest::addColumn<QString>("model");
        QTest::addColumn<bool>("serverUp");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("models");
        QTest::addColumn<QString>("message"); // empty: available
        QTest::addColumn<int>("requests");
        const QString notReady = AppleIntelligenceService::notReadyMessage();
        const QString unavailable = AppleIntelligenceService::unavailableMessage();
        QTest::newRow("pulled, tag implied") << "llama3.2" << true << 200 << kOllamaModels << "" << 1;
        QTest::newRow("pulled, with tag") << "qwen2.5:7b" << true << 200 << kOllamaModels << "" << 1;
        QTest::newRow("not pulled") << "mistral" << true << 200 << kOllamaModels << notReady << 1;
        QTest::newRow("other tag only") << "qwen2.5" << true << 200 << kOllamaModels << notReady << 1;
        QTest::newRow("llama.cpp loading")
            << "any" << true << 503 << QByteArray(R"({"error":{"code":503,"message":"Loading model","type":"unavailable_error"}})")
            << notReady << 1;
        QTest::newRow("llama.cpp serves its one model")
            << "whatever" << true << 200
            << QByteArray(R"({"object":"list","data":[{"id":"/models/phi.gguf","object":"model","owned_by":"llamacpp"}]})")
            << "" << 1;
        QTest::newRow("not OpenAI-compatible") << "llama3.2" << true << 404 << QByteArray("404 page not found")
                                               << unavailable << 1;
        QTest::newRow("list not JSON") << "llama3.2" << true << 200 << QByteArray("<html>") << unavailable << 1;
        QTest::newRow("nothing listens") << "llama3.2" << false << 0 << QByteArray() << unavailable << 0;
        QTest::newRow("no model chosen") << "" << true << 200 << kOllamaModels
                                         << AppleIntelligenceService::notEnabledMessage() << 0;
    }
    void availability()
    {
        QFETCH(QString, model);
        QFETCH(bool, serverUp);
        QFETCH(int, status);
        QFETCH(QByteArray, models);
        QFETCH(QString, message);
        QFETCH(int, requests);
        Rig rig;
        rig.model = model;
        if (!serverUp)
            rig.base = QStringLiteral("http://127.0.0.1:%1").arg(closedPort());
        rig.server.setDefaultReply(Reply::json(status, models));
        const std::optional<QString> expected = message.isEmpty() ? std::nullopt : std::optional<QString>(message);
        QCOMPARE(awaitTask(rig.service.checkAvailability()), expected);
        QCOMPARE(rig.service.availabilityMessage(), expected);
        QCOMPARE(rig.server.requests.size(), requests);

        // An unavailable model fails at once with the same message, and nothing is asked of it.
        if (expected) {
            QCOMPARE(rig.respond({ChatMessage::user("x")}).error(), failure(*expected));
            QVERIFY(std::none_of(rig.server.requests.begin(), rig.server.requests.end(),
                                 [](const auto& r) { return r.method == "POST"; }));
        }
    }

    void answerErrors_data()
    {
        QTest::addColumn<Reply>("reply");
        QTest::addColumn<QString>("message");
        const QString tooLong = AppleIntelligenceService::tooLongMessage();
        QTest::newRow("llama.cpp context")
            << Reply::json(400, R"J({"error":{"code":400,"message":"request (4476 tokens) exceeds the available context )J"
                                R"J(size (4096 tokens)","type":"exceed_context_size_error","n_prompt_tokens":4476,"n_ctx":4096}})J")
            << tooLong;
        QTest::newRow("OpenAI-style context")
            << Reply::json(400, R"({"error":{"message":"This model's maximum context length is 4096 tokens",)"
                                R"("type":"invalid_request_error","code":"context_length_exceeded"}})")
            << tooLong;
        QTest::newRow("cut before any word") << Reply::json(200, completion("", "length")) << tooLong;
        QTest::newRow("model gone")
            << Reply::json(404, "{\"error\":{\"message\":\"model 'llama3.2' not found, try pulling it first\",\"type\":\"api_error\"}}")
            << AppleIntelligenceService::notReadyMessage();
        QTest::newRow("loading") << Reply::json(503, R"({"error":{"code":503,"message":"Loading model"}})")
                                 << AppleIntelligenceService::notReadyMessage();
        QTest::newRow("server error") << Reply::json(500, R"({"error":{"message":"out of memory"}})")
                                      << "Apple Intelligence error: out of memory";
        QTest::newRow("bare status") << Reply::json(502, "Bad Gateway")
                                     << "Apple Intelligence error: the local model answered HTTP 502.";
        QTest::newRow("unreadable answer") << Reply::json(200, R"({"choices":[]})")
                                           << "Apple Intelligence error: the local model's answer could not be read.";
        QTest::newRow("never answers") << Reply::stall()
                                       << "Apple Intelligence error: the local model did not answer in time.";
        QTest::newRow("drops the connection") << Reply::drop() << AppleIntelligenceService::unavailableMessage();
    }
    void answerErrors()
    {
        QFETCH(Reply, reply);
        QFETCH(QString, message);
        Rig rig;
        rig.server.enqueue(Reply::json(200, kOllamaModels));
        rig.server.enqueue(reply);
        rig.server.enqueue(reply); // a dropped connection may be resent by the HTTP stack
        QCOMPARE(rig.respond({ChatMessage::user("x")}).error(), failure(message));
    }

    void guidedGenerationAsksForTheSchema_data()
    {
        QTest::addColumn<QString>("content");
        QTest::addColumn<QString>("error"); // empty: accepted
        QTest::newRow("valid") << R"({"categories":["email","document"]})" << "";
        QTest::newRow("not JSON") << "Sure! Here you go" << "the local model's answer is not JSON.";
        QTest::newRow("fenced") << "```json\n{\"categories\":[]}\n```" << "the local model's answer is not JSON.";
        QTest::newRow("missing key") << R"({"cats":[]})" << "the local model's answer does not have the asked shape.";
        QTest::newRow("outside the enum") << R"({"categories":["poem"]})"
                                          << "the local model's answer does not have the asked shape.";
        QTest::newRow("wrong type") << R"({"categories":"email"})"
                                    << "the local model's answer does not have the asked shape.";
        QTest::newRow("array at the top") << R"(["email"])" << "the local model's answer does not have the asked shape.";
    }
    void guidedGenerationAsksForTheSchema()
    {
        QFETCH(QString, content);
        QFETCH(QString, error);
        Rig rig;
        rig.server.enqueue(Reply::json(200, kOllamaModels));
        rig.server.enqueue(Reply::json(200, completion(content)));
        const auto value = awaitTask(rig.service.generate(QString("Classify."), "Items:\n0: x", kSchema, 1024));
        const QJsonObject body = QJsonDocument::fromJson(rig.server.requests.value(1).body).object();
        QCOMPARE(body.value("max_tokens").toInt(), 1024);
        const QJsonObject format = body.value("response_format").toObject();
        QCOMPARE(format.value("type").toString(), "json_schema");
        QCOMPARE(format.value("json_schema").toObject().value("name").toString(), "GenClassificationBatch");
        QCOMPARE(format.value("json_schema").toObject().value("schema").toObject(), kSchema.schema);
        QCOMPARE(body.value("messages").toArray().at(1).toObject().value("content").toString(), "Items:\n0: x");
        if (error.isEmpty()) {
            QVERIFY(value);
            QCOMPARE(value->toObject().value("categories").toArray(), (QJsonArray{"email", "document"}));
        } else {
            QCOMPARE(value.error(), failure("Apple Intelligence error: " + error));
        }
    }

    void modelsOfferedAndSettings()
    {
        QTemporaryDir dir;
        Settings settings{dir.filePath("config")};
        const auto config = AppleIntelligenceService::configFrom(settings);
        QCOMPARE(config().base, QUrl("http://127.0.0.1:11434"));
        QCOMPARE(config().model, QString());
        Rig rig;
        settings.setValue("ovra.mac.localModelURL", rig.server.url());
        settings.setValue("ovra.mac.localModel", " llama3.2 ");
        QCOMPARE(config().base, QUrl(rig.server.url()));
        QCOMPARE(config().model, "llama3.2");

        AppleIntelligenceService service{rig.network, config};
        rig.server.setDefaultReply(Reply::json(200, kOllamaModels));
        QCOMPARE(awaitTask(service.availableModels()), (QStringList{"llama3.2:latest", "qwen2.5:7b"}));
        settings.setValue("ovra.mac.localModel", "");
        QCOMPARE(awaitTask(service.availableModels()), (QStringList{"llama3.2:latest", "qwen2.5:7b"}));
        rig.server.setDefaultReply(Reply::json(500, "{}"));
        QCOMPARE(awaitTask(service.availableModels()), QStringList());
    }
};


QTEST_GUILESS_MAIN(TestAppleIntelligenceService)
#include "tst_appleintelligenceservice.moc"
