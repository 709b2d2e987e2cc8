// The shared HTTP client against a local server: headers, gzip, status passing, and every
// transport fault mapped onto its URL-error code within the configured time-outs.
#include "fakes/AwaitTask.h"
#include "fakes/LocalHttpServer.h"
#include "network/APIError.h"
#include "network/APINetworkClient.h"

#include <QCoroTask>
#include <QElapsedTimer>
#include <QTest>

using namespace std::chrono_literals;
using Reply = LocalHttpServer::Reply;

Q_DECLARE_METATYPE(APIError)

namespace {

APINetworkClient::Config quickConfig()
{
    APINetworkClient::Config c;
    c.general = {300ms, 2000ms};
    c.transcription = {300ms, 2000ms};
    return c;
}

Expected<HTTPResponse, APIError> post(APINetworkClient& client, const QString& url, const QByteArray& body,
                                      APINetworkClient::Session session = APINetworkClient::Session::general)
{
    QNetworkRequest request{QUrl(url)};
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    return awaitTask(client.send(session, request, "POST", {body}));
}

} // namespace

class TestAPINetworkClient : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void sendsAndReturnsTheReply()
    {
        LocalHttpServer server;
        server.enqueue(Reply::json(201, R"({"ok":true})"));
        APINetworkClient client(quickConfig());
        const auto r = post(client, server.url() + "/v1/things?x=1", "{\"a\":1}");
        QVERIFY(r.hasValue());
        QCOMPARE(r->status, 201);
        QCOMPARE(r->body, QByteArray(R"({"ok":true})"));
        QCOMPARE(server.requests.size(), 1);
        const auto& req = server.requests.first();
        QCOMPARE(req.method, QByteArray("POST"));
        QCOMPARE(req.target, QByteArray("/v1/things?x=1"));
        QCOMPARE(req.body, QByteArray("{\"a\":1}"));
        QCOMPARE(req.headerCount("Accept-Encoding"), 1);
        QCOMPARE(req.header("Accept-Encoding"), QByteArray("gzip"));
    }

    void decodesGzipBodies()
    {
        LocalHttpServer server;
        Reply reply = Reply::json(200, QByteArray(5000, 'x'));
        reply.gzip = true;
        server.enqueue(reply);
        APINetworkClient client(quickConfig());
        const auto r = post(client, server.url() + "/", "{}");
        QVERIFY(r.hasValue());
        QCOMPARE(r->body, QByteArray(5000, 'x'));
    }

    void errorStatusesAreReplies_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("401 envelope") << 401 << QByteArray(R"({"error":{"message":"bad key"}})");
        QTest::newRow("403 empty") << 403 << QByteArray();
        QTest::newRow("429") << 429 << QByteArray("slow down");
        QTest::newRow("500 not json") << 500 << QByteArray("<html>oops</html>");
        QTest::newRow("400") << 400 << QByteArray(R"({"error":{"message":"bad"}})");
        QTest::newRow("404") << 404 << QByteArray();
    }
    void errorStatusesAreReplies()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        LocalHttpServer server;
        server.enqueue(Reply::json(status, body));
        APINetworkClient client(quickConfig());
        const auto r = post(client, server.url() + "/", "{}");
        QVERIFY(r.hasValue());
        QCOMPARE(r->status, status);
        QCOMPARE(r->body, body);
    }

    void transportFaults_data()
    {
        QTest::addColumn<int>("fault");
        QTest::addColumn<int>("expected");
        QTest::newRow("dropped") << 0 << int(URLError::Code::networkConnectionLost);
        QTest::newRow("truncated body") << 1 << int(URLError::Code::networkConnectionLost);
        QTest::newRow("stall") << 2 << int(URLError::Code::timedOut);
    }
    void transportFaults()
    {
        QFETCH(int, fault);
        QFETCH(int, expected);
        LocalHttpServer server;
        Reply reply = Reply::json(200, R"({"text":"hello there"})");
        if (fault == 0)
            reply = Reply::drop();
        else if (fault == 1)
            reply.truncateAt = 5;
        else
            reply = Reply::stall();
        // Qt itself resends a request whose connection closed before any reply byte, so the
        // fault is made permanent.
        server.setDefaultReply(reply);
        APINetworkClient client(quickConfig());
        QElapsedTimer timer;
        timer.start();
        const auto r = post(client, server.url() + "/", "{}", APINetworkClient::Session::transcription);
        QVERIFY(!r.hasValue());
        QCOMPARE(r.error().kind(), APIError::Kind::transport);
        QCOMPARE(int(r.error().urlError()->code), expected);
        QVERIFY(isUnreachableError(r.error()));
        QVERIFY(timer.elapsed() < 5000);
    }

    void requestTimeoutOverridesTheSessionIdleTimeout()
    {
        LocalHttpServer server;
        server.enqueue(Reply::stall());
        APINetworkClient::Config config = quickConfig();
        config.general = {10000ms, 60000ms};
        APINetworkClient client(config);
        QNetworkRequest request{QUrl(server.url() + "/")};
        request.setTransferTimeout(200);
        QElapsedTimer timer;
        timer.start();
        const auto r = awaitTask(client.send(APINetworkClient::Session::general, request, "GET"));
        QVERIFY(!r.hasValue());
        QCOMPARE(r.error().urlError()->code, URLError::Code::timedOut);
        QVERIFY(timer.elapsed() < 5000);
    }

    void resourceTimeoutEndsASlowTransfer()
    {
        LocalHttpServer server;
        server.enqueue(Reply::stall());
        APINetworkClient::Config config = quickConfig();
        config.transcription = {10000ms, 300ms};
        APINetworkClient client(config);
        const auto r = post(client, server.url() + "/", "{}", APINetworkClient::Session::transcription);
        QVERIFY(!r.hasValue());
        QCOMPARE(r.error().urlError()->code, URLError::Code::timedOut);
    }

    // Qt reads a reply that does not start with an HTTP status line as a connection that
    // closed early (and resends twice): it ends as a lost connection, never as a value.
    void notHttpEndsAsALostConnection()
    {
        LocalHttpServer server;
        server.setDefaultReply(Reply::raw("SSH-2.0-OpenSSH_9.2\r\nnot http at all\r\n\r\n"));
        APINetworkClient client(quickConfig());
        const auto r = post(client, server.url() + "/", "{}");
        QVERIFY(!r.hasValue());
        QCOMPARE(r.error().urlError()->code, URLError::Code::networkConnectionLost);
    }

    void refusedConnectionCannotConnect()
    {
        quint16 port = 0;
        {
            LocalHttpServer closed;
            port = closed.port();
        }
        APINetworkClient client(quickConfig());
        const auto r = post(client, QStringLiteral("http://127.0.0.1:%1/").arg(port), "{}");
        QVERIFY(!r.hasValue());
        QCOMPARE(r.error().urlError()->code, URLError::Code::cannotConnectToHost);
        QVERIFY(isUnreachableError(r.error()));
    }

    void classification_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<bool>("unreachable");
        QTest::addColumn<bool>("cancellation");
        using C = URLError::Code;
        for (C c : {C::notConnectedToInternet, C::networkConnectionLost, C::timedOut, C::cannotConnectToHost,
                    C::cannotFindHost, C::dnsLookupFailed, C::dataNotAllowed, C::internationalRoamingOff})
            QTest::newRow(qPrintable(QString::number(int(c)))) << int(c) << true << false;
        QTest::newRow("cancelled") << int(C::cancelled) << false << true;
        QTest::newRow("tls") << int(C::secureConnectionFailed) << false << false;
        QTest::newRow("unknown") << int(C::unknown) << false << false;
    }
    void classification()
    {
        QFETCH(int, code);
        QFETCH(bool, unreachable);
        QFETCH(bool, cancellation);
        const APIError e = APIError::transport(URLError::Code(code));
        QCOMPARE(isUnreachableError(e), unreachable);
        QCOMPARE(isCancellationError(e), cancellation);
        QVERIFY(!e.errorDescription().isEmpty());
        for (const APIError& other : {APIError::serverError(503), APIError::invalidResponse(), APIError::decodingFailed(),
                                      APIError::missingAPIKey("Groq"), APIError::networkTimeout()}) {
            QVERIFY(!isUnreachableError(other));
            QVERIFY(!isCancellationError(other));
        }
    }

    void messages_data()
    {
        QTest::addColumn<APIError>("error");
        QTest::addColumn<QString>("message");
        QTest::newRow("missing key") << APIError::missingAPIKey("Google Gemini")
                                     << "Add your Google Gemini API key in the Models tab.";
        QTest::newRow("server with message") << APIError::serverError(401, QStringLiteral("Invalid API Key"))
                                             << "Service error (401): Invalid API Key";
        QTest::newRow("server without") << APIError::serverError(401) << "Service error (401). Try again later.";
        QTest::newRow("timeout") << APIError::networkTimeout()
                                 << "The request timed out. Check your connection and try again.";
        QTest::newRow("invalid") << APIError::invalidResponse() << "The server returned an unexpected response.";
        QTest::newRow("decoding") << APIError::decodingFailed() << "Could not read the response from the server.";
        QTest::newRow("microphone") << APIError::microphoneDenied()
                                    << "Microphone access was denied. Enable it in Settings → Ovra.";
        QTest::newRow("no recording") << APIError::noRecording() << "No audio was recorded.";
    }
    void messages()
    {
        QFETCH(APIError, error);
        QFETCH(QString, message);
        QCOMPARE(error.errorDescription(), message);
    }
};

QTEST_GUILESS_MAIN(TestAPINetworkClient)
#include "tst_APINetworkClient.moc"
