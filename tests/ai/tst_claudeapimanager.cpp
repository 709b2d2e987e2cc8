// The chat client against a local HTTP server: byte-exact request bodies and headers for the
// four providers, answer parsing, usage and cost, errors and the one retry.
#include "ai/AppleIntelligenceService.h"
#include "ai/ClaudeAPIManager.h"
#include "ai/SecretsVault.h"
#include "ai/UsageTracker.h"
#include "fakes/AwaitTask.h"
#include "fakes/LocalHttpServer.h"
#include "network/APINetworkClient.h"
#include "network/Pricing.h"
#include "platform/linux/secret/MemorySecretStore.h"
#include "store/Notifications.h"
#include "store/RecordStore.h"
#include "store/Settings.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using Reply = LocalHttpServer::Reply;

namespace {

struct Rig
{
    QTemporaryDir dir;
    LocalHttpServer server;
    MemorySecretStore secrets;
    KeychainManager keychain{secrets};
    Settings settings{dir.filePath("config")};
    Notifications notifications;
    SecretsVault vault{keychain, settings, notifications};
    std::unique_ptr<RecordStore> store = std::move(RecordStore::open(dir.filePath("s.sqlite"), {}).value());
    UsageTracker usage;
    APINetworkClient network;
    AppleIntelligenceService onDevice{network, AppleIntelligenceService::configFrom(settings)};
    ClaudeAPIManager client{network, vault, usage, onDevice, ClaudeAPIManager::Endpoints::onHost(server.url())};

    Rig()
    {
        usage.setModelContext(store.get());
        for (KeychainKey k : {KeychainKey::anthropicAPIKey, KeychainKey::openAIAPIKey, KeychainKey::groqAPIKey,
                              KeychainKey::geminiAPIKey})
            (void)vault.save(QStringLiteral("key-") + rawValue(k), k);
    }

    Expected<QString, APIError> send(AIProvider provider, const QString& model, std::optional<QString> system,
                                     QList<ChatMessage> messages = {ChatMessage::user("Salut \"toi\"\n")},
                                     int maxTokens = 2048)
    {
        return awaitTask(client.send(messages, model, system, maxTokens, provider));
    }
    const LocalHttpServer::Request& last() const { return server.requests.last(); }
};

// The default user message as JSON (kept out of raw strings, which moc misreads around \").
const QByteArray kUserJson = "{\"role\":\"user\",\"content\":\"Salut \\\"toi\\\"\\n\"}";

const QList<ChatMessage> conversation{{"user", "Q1"}, {"assistant", "A1"}, {"system", "odd"}, {"user", "Q2"}};

} // namespace

class TestClaudeAPIManager : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void anthropicWire()
    {
        Rig rig;
        rig.server.enqueue(Reply::json(200, R"({"content":[{"type":"text","text":"Bon"},{"type":"tool_use"},)"
                                            R"({"type":"thinking","text":"x"},{"type":"text","text":"jour"}],)"
                                            R"("usage":{"input_tokens":1000,"output_tokens":200}})"));
        QSignalSpy processing(&rig.client, &ClaudeAPIManager::isProcessingChanged);
        const auto answer = rig.send(AIProvider::claude, "claude-haiku-4-5", QString("Sys é"));
        QCOMPARE(answer.value(), "Bon\njour");
        QCOMPARE(processing.size(), 2);
        QVERIFY(!rig.client.isProcessing());
        const auto& req = rig.last();
        QCOMPARE(req.method, "POST");
        QCOMPARE(req.target, "/v1/messages");
        QCOMPARE(req.header("Content-Type"), "application/json");
        QCOMPARE(req.header("x-api-key"), "key-mirelo.anthropic.apikey");
        QCOMPARE(req.header("anthropic-version"), "2023-06-01");
        QCOMPARE(req.headerCount("Authorization"), 0);
        QCOMPARE(req.body, QByteArray(R"({"model":"claude-haiku-4-5","max_tokens":2048,"system":"Sys é",)"
                                      R"("messages":[)" + kUserJson + "]}"));
        QCOMPARE(*rig.client.lastCostUSD(), 1000 / 1e6 * 1.0 + 200 / 1e6 * 5.0);
        const auto usage = rig.store->fetch<APIUsageRecord>();
        QCOMPARE(usage.size(), 1);
        QCOMPARE(usage[0].providerRaw, "claude");
        QCOMPARE(usage[0].kindRaw, "ai");
        QCOMPARE(usage[0].inputTokens, 1000);
        QCOMPARE(usage[0].outputTokens, 200);

        // No system text: the field is left out; messages pass unchanged.
        rig.server.enqueue(Reply::json(200, R"({"content":[{"type":"tool_use"}]})"));
        const auto empty = rig.send(AIProvider::claude, "claude-opus-5", std::nullopt, conversation, 10);
        QCOMPARE(empty.value(), QString()); // only non-text blocks: empty, not an error
        QCOMPARE(rig.last().body,
                 QByteArray(R"({"model":"claude-opus-5","max_tokens":10,"messages":[{"role":"user","content":"Q1"},)"
                            R"({"role":"assistant","content":"A1"},{"role":"system","content":"odd"},)"
                            R"({"role":"user","content":"Q2"}]})"));
        QCOMPARE(rig.client.lastCostUSD(), 0.0);
        QCOMPARE(rig.store->fetch<APIUsageRecord>().size(), 1); // nothing billed, nothing recorded
    }

    void openAICompatibleWire_data()
    {
        QTest::addColumn<int>("provider");
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<QByteArray>("key");
        QTest::newRow("openai") << int(AIProvider::openai) << QByteArray("/v1/chat/completions")
                                << QByteArray("Bearer key-mirelo.openai.apikey");
        QTest::newRow("groq") << int(AIProvider::groq) << QByteArray("/openai/v1/chat/completions")
                              << QByteArray("Bearer key-mirelo.groq.apikey");
    }
    void openAICompatibleWire()
    {
        QFETCH(int, provider);
        QFETCH(QByteArray, path);
        QFETCH(QByteArray, key);
        Rig rig;
        rig.server.enqueue(Reply::json(200, R"({"choices":[{"message":{"content":"Réponse"}},{"message":{}}],)"
                                            R"("usage":{"prompt_tokens":10,"completion_tokens":5}})"));
        QCOMPARE(rig.send(AIProvider(provider), "openai/gpt-oss-20b", QString("Sys")).value(), "Réponse");
        QCOMPARE(rig.last().target, path);
        QCOMPARE(rig.last().header("Authorization"), key);
        QCOMPARE(rig.last().header("Content-Type"), "application/json");
        QCOMPARE(rig.last().body,
                 QByteArray(R"({"model":"openai/gpt-oss-20b","max_completion_tokens":2048,"messages":[)"
                            R"({"role":"system","content":"Sys"},)" + kUserJson + "]}"));
        QCOMPARE(rig.store->fetch<APIUsageRecord>().value(0).providerRaw, "openai");

        // Empty system text: no system message.
        rig.server.enqueue(Reply::json(200, R"({"choices":[{"message":{"content":""}}]})"));
        QCOMPARE(rig.send(AIProvider(provider), "gpt-5", QString(""), conversation).value(), QString());
        QCOMPARE(rig.last().body,
                 QByteArray(R"({"model":"gpt-5","max_completion_tokens":2048,"messages":[)"
                            R"({"role":"user","content":"Q1"},{"role":"assistant","content":"A1"},)"
                            R"({"role":"system","content":"odd"},{"role":"user","content":"Q2"}]})"));
    }

    // Two rewrites in flight at once: each is charged its own call, whichever ends last.
    void overlappingCallsEachGetTheirOwnCost()
    {
        Rig rig;
        const QByteArray reply =
            R"({"content":[{"type":"text","text":"ok"}],"usage":{"input_tokens":1000,"output_tokens":200}})";
        rig.server.enqueue(Reply::json(200, reply));
        rig.server.enqueue(Reply::json(200, reply));
        auto both = [&]() -> QCoro::Task<std::pair<Expected<ChatAnswer, APIError>, Expected<ChatAnswer, APIError>>> {
            auto cheap = rig.client.ask({ChatMessage::user("a")}, "claude-haiku-4-5", std::nullopt, 100,
                                        AIProvider::claude);
            auto dear = rig.client.ask({ChatMessage::user("b")}, "claude-opus-5", std::nullopt, 100,
                                       AIProvider::claude);
            auto first = co_await cheap;
            auto second = co_await dear;
            co_return std::pair{first, second};
        };
        const auto [cheap, dear] = awaitTask(both());
        QVERIFY(cheap && dear);
        QCOMPARE(cheap->costUSD, chatCost("claude-haiku-4-5", 1000, 200));
        QCOMPARE(dear->costUSD, chatCost("claude-opus-5", 1000, 200));
        QVERIFY(*cheap->costUSD != *dear->costUSD);
    }

    void geminiWire()
    {
        Rig rig;
        rig.server.enqueue(Reply::json(200, R"({"candidates":[{"content":{"parts":[{"text":"Bon"},{},{"text":"jour"}]}},)"
                                            R"({"content":{"parts":[{"text":"Deux"}]}}],)"
                                            R"("usageMetadata":{"promptTokenCount":7,"candidatesTokenCount":3}})"));
        QCOMPARE(rig.send(AIProvider::gemini, "gemini-2.5-flash", QString("Sys"), conversation, 99).value(),
                 "Bonjour\nDeux");
        QCOMPARE(rig.last().target, "/v1beta/models/gemini-2.5-flash:generateContent?key=key-mirelo.gemini.apikey");
        QCOMPARE(rig.last().headerCount("Authorization"), 0);
        QCOMPARE(rig.last().body,
                 QByteArray(R"({"contents":[{"role":"user","parts":[{"text":"Q1"}]},)"
                            R"({"role":"model","parts":[{"text":"A1"}]},{"role":"user","parts":[{"text":"odd"}]},)"
                            R"({"role":"user","parts":[{"text":"Q2"}]}],)"
                            R"("systemInstruction":{"role":"user","parts":[{"text":"Sys"}]},)"
                            R"("generationConfig":{"maxOutputTokens":99}})"));
        QCOMPARE(rig.store->fetch<APIUsageRecord>().value(0).providerRaw, "gemini");

        // Empty system text: no systemInstruction at all.
        rig.server.enqueue(Reply::json(200, R"({"candidates":[{"content":{"parts":[{"text":"x"}]}}]})"));
        QVERIFY(rig.send(AIProvider::gemini, "gemini-2.5-flash", QString(""), {{"user", "Q"}}, 5));
        QCOMPARE(rig.last().body, QByteArray(R"({"contents":[{"role":"user","parts":[{"text":"Q"}]}],)"
                                             R"("generationConfig":{"maxOutputTokens":5}})"));
    }

    void gemmaTakesTheSystemTextInTheFirstUserTurn()
    {
        Rig rig;
        rig.server.setDefaultReply(Reply::json(200, R"({"candidates":[{"content":{"parts":[{"text":"ok"}]}}]})"));
        QVERIFY(rig.send(AIProvider::gemini, "gemma-4-31b-it", QString("Sys"), {{"assistant", "A"}, {"user", "Q"}}));
        QCOMPARE(rig.last().body, QByteArray(R"({"contents":[{"role":"model","parts":[{"text":"A"}]},)"
                                             R"({"role":"user","parts":[{"text":"Sys\n\nQ"}]}],)"
                                             R"("generationConfig":{"maxOutputTokens":2048}})"));
        QVERIFY(rig.send(AIProvider::gemini, "gemma-4-26b-a4b-it", QString("Sys"), {{"assistant", "A"}}));
        QCOMPARE(rig.last().body, QByteArray(R"({"contents":[{"role":"user","parts":[{"text":"Sys"}]},)"
                                             R"({"role":"model","parts":[{"text":"A"}]}],)"
                                             R"("generationConfig":{"maxOutputTokens":2048}})"));
    }

    void errors_data()
    {
        QTest::addColumn<int>("provider");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("message");
        const int c = int(AIProvider::claude);
        const int o = int(AIProvider::openai);
        const int g = int(AIProvider::gemini);
        const QString decoding = APIError::decodingFailed().errorDescription();
        QTest::newRow("401 envelope") << c << 401 << QByteArray(R"({"error":{"message":"invalid x-api-key"}})")
                                      << "Service error (401): invalid x-api-key";
        QTest::newRow("500 not json") << o << 500 << QByteArray("<html>boom</html>")
                                      << "Service error (500). Try again later.";
        QTest::newRow("429 envelope without message") << g << 429 << QByteArray(R"({"error":{"code":429}})")
                                                      << "Service error (429). Try again later.";
        QTest::newRow("garbage 200") << c << 200 << QByteArray("not json") << decoding;
        QTest::newRow("anthropic without content") << c << 200 << QByteArray(R"({"id":"x"})") << decoding;
        QTest::newRow("anthropic block without type") << c << 200 << QByteArray(R"({"content":[{"text":"a"}]})")
                                                      << decoding;
        QTest::newRow("anthropic tokens as text")
            << c << 200 << QByteArray(R"({"content":[],"usage":{"input_tokens":"5"}})") << decoding;
        QTest::newRow("openai without choices") << o << 200 << QByteArray(R"({"choices":[]})") << decoding;
        QTest::newRow("openai null content") << o << 200 << QByteArray(R"({"choices":[{"message":{"content":null}}]})")
                                             << decoding;
        QTest::newRow("gemini empty") << g << 200 << QByteArray(R"({"candidates":[]})") << decoding;
        QTest::newRow("gemini no candidates") << g << 200 << QByteArray(R"({})") << decoding;
        QTest::newRow("gemini array body") << g << 200 << QByteArray(R"([1])") << decoding;
    }
    void errors()
    {
        QFETCH(int, provider);
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, message);
        Rig rig;
        rig.server.enqueue(Reply::json(200, R"({"content":[{"type":"text","text":"a"}],"usage":{"input_tokens":5}})"));
        QVERIFY(rig.send(AIProvider::claude, "claude-haiku-4-5", std::nullopt));
        QVERIFY(rig.client.lastCostUSD());
        rig.server.enqueue(Reply::json(status, body));
        const auto answer = rig.send(AIProvider(provider), "m", QString("s"));
        QVERIFY(!answer);
        QCOMPARE(answer.error().errorDescription(), message);
        QVERIFY(!rig.client.lastCostUSD());
        QVERIFY(!rig.client.isProcessing());
        QCOMPARE(rig.store->fetch<APIUsageRecord>().size(), 1);
    }

    void missingKey_data()
    {
        QTest::addColumn<int>("provider");
        QTest::addColumn<QString>("name");
        QTest::newRow("claude") << int(AIProvider::claude) << "Anthropic";
        QTest::newRow("openai") << int(AIProvider::openai) << "OpenAI";
        QTest::newRow("gemini") << int(AIProvider::gemini) << "Google Gemini";
        QTest::newRow("groq") << int(AIProvider::groq) << "Groq";
    }
    void missingKey()
    {
        QFETCH(int, provider);
        QFETCH(QString, name);
        QTemporaryDir dir;
        LocalHttpServer server;
        MemorySecretStore secrets;
        KeychainManager keychain{secrets};
        Settings settings{dir.filePath("config")};
        Notifications notifications;
        SecretsVault vault{keychain, settings, notifications};
        (void)keychain.save(QByteArray(), *keychainKey(AIProvider(provider))); // an empty item is no key
        UsageTracker usage;
        APINetworkClient network;
        AppleIntelligenceService onDevice{network, AppleIntelligenceService::configFrom(settings)};
        ClaudeAPIManager client{network, vault, usage, onDevice, ClaudeAPIManager::Endpoints::onHost(server.url())};
        const auto answer = awaitTask(client.send({ChatMessage::user("x")}, "m", std::nullopt, 5, AIProvider(provider)));
        QCOMPARE(answer.error(), APIError::missingAPIKey(name));
        QVERIFY(server.requests.isEmpty());
        QVERIFY(!client.isProcessing());
    }

    void lostConnectionIsRetriedOnce()
    {
        // A reply cut short: the HTTP stack does not resend it on its own (it does for a
        // connection closed before any byte), so every retry seen here is the client's.
        Reply cut = Reply::json(200, R"({"choices":[{"message":{"content":"cut"}}]})");
        cut.truncateAt = 5;
        Rig rig;
        rig.server.enqueue(cut);
        rig.server.enqueue(Reply::json(200, R"({"choices":[{"message":{"content":"ok"}}]})"));
        const auto first = rig.send(AIProvider::openai, "gpt-5", std::nullopt);
        QVERIFY2(first, qPrintable(first ? QString() : first.error().errorDescription()));
        QCOMPARE(first.value(), "ok");
        QCOMPARE(rig.server.requests.size(), 2);
        QCOMPARE(rig.server.requests[0].body, rig.server.requests[1].body);

        rig.server.enqueue(cut);
        rig.server.enqueue(cut);
        const auto answer = rig.send(AIProvider::openai, "gpt-5", std::nullopt);
        QVERIFY(!answer);
        QCOMPARE(answer.error().urlError()->code, URLError::Code::networkConnectionLost);
        QCOMPARE(rig.server.requests.size(), 4);
        QVERIFY(!rig.client.isProcessing());

        // Other transport failures are final at once.
        rig.server.enqueue(Reply::json(500, "{}"));
        QCOMPARE(rig.send(AIProvider::openai, "gpt-5", std::nullopt).error(), APIError::serverError(500));
        QCOMPARE(rig.server.requests.size(), 5);
    }

    void onDeviceWithoutALocalModelIsNotEnabled()
    {
        Rig rig;
        const auto answer = rig.send(AIProvider::appleIntelligence, "apple-on-device", QString("Sys"));
        QCOMPARE(answer.error(),
                 APIError::serverError(0, QString("Enable Apple Intelligence in Settings to use the on-device model.")));
        QVERIFY(rig.server.requests.isEmpty());
        QVERIFY(!rig.client.lastCostUSD());
        QVERIFY(!rig.client.isProcessing());
        QVERIFY(rig.store->fetch<APIUsageRecord>().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestClaudeAPIManager)
#include "tst_claudeapimanager.moc"
