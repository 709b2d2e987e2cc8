#include "AwaitTask.h"
#include "LeaderboardTestSupport.h"
#include "LocalHttpServer.h"
#include "leaderboard/LeaderboardRetry.h"
#include "stats/StatsSnapshot.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

using Reply = LocalHttpServer::Reply;

namespace {

Reply json(int status, const QJsonObject& o)
{
    return Reply::json(status, QJsonDocument(o).toJson(QJsonDocument::Compact));
}
Reply session(const QString& name)
{
    return json(200, {{"ok", true}, {"userCtx", QJsonObject{{"name", name}, {"roles", QJsonArray()}}}});
}
Reply notFound()
{
    return json(404, {{"error", "not_found"}, {"reason", "missing"}});
}
Reply created(const QString& id)
{
    return json(201, {{"ok", true}, {"id", id}, {"rev", "1-abc"}});
}
Reply docs(const QJsonArray& list, const QString& bookmark = {})
{
    QJsonObject o{{"docs", list}};
    if (!bookmark.isEmpty())
        o.insert("bookmark", bookmark);
    return json(200, o);
}
QJsonObject record(const QString& name, qint64 words, const QString& pseudo)
{
    return {{"_id", QString("classement-" + name)}, {"type", "OvraClassement"}, {"pseudo", pseudo}, {"mots", words}};
}
Reply withHeader(Reply r, const QByteArray& name, const QByteArray& value)
{
    r.headers.append({name, value});
    return r;
}
// The first page and the rank are asked at once: their replies wait for their own request.
Reply firstPage(const QJsonArray& list)
{
    Reply r = docs(list);
    r.awaits = "\"sort\"";
    return r;
}
Reply rankCount(qint64 ahead)
{
    Reply r = json(200, {{"rows", QJsonArray{QJsonObject{{"key", QJsonValue()}, {"value", ahead}}}}});
    r.awaits = "/_view/par-mots";
    return r;
}
// The replies of a refresh that goes through: session, own record (absent), write, page, rank.
QList<Reply> happyRefresh(const QJsonArray& page = {}, qint64 ahead = 0)
{
    return {session("alice"), notFound(), created("classement-alice"), firstPage(page), rankCount(ahead)};
}
const LocalHttpServer::Request* requestWith(const LocalHttpServer& server, const QByteArray& needle)
{
    for (const auto& r : server.requests)
        if (r.target.contains(needle) || r.body.contains(needle))
            return &r;
    return nullptr;
}
QJsonObject body(const LocalHttpServer::Request& r)
{
    return QJsonDocument::fromJson(r.body).object();
}

} // namespace

Q_DECLARE_METATYPE(LeaderboardError)
Q_DECLARE_METATYPE(LocalHttpServer::Reply)

class TestLeaderboardManager : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void retryTable_data()
    {
        QTest::addColumn<LeaderboardError>("error");
        QTest::addColumn<QList<qint64>>("delays"); // after attempts 1, 2, 3; -1 = final
        using E = LeaderboardError;
        using C = URLError::Code;
        const QList<QPair<QByteArray, QByteArray>> none;
        const QList<qint64> backoff{800, 2400, -1};
        const QList<qint64> final{-1, -1, -1};
        QTest::newRow("connection refused") << E::fromTransport(APIError::transport(C::cannotConnectToHost)) << backoff;
        QTest::newRow("connection reset") << E::fromTransport(APIError::transport(C::networkConnectionLost)) << backoff;
        QTest::newRow("time-out") << E::fromTransport(APIError::transport(C::timedOut)) << backoff;
        QTest::newRow("response lost") << E::fromTransport(APIError::invalidResponse()) << backoff;
        QTest::newRow("cancelled") << E::fromTransport(APIError::transport(C::cancelled)) << final;
        QTest::newRow("503") << E::fromStatus(503, none, {}) << backoff;
        QTest::newRow("429 without Retry-After") << E::fromStatus(429, none, {}) << backoff;
        QTest::newRow("429 Retry-After 30 is cut to 5 s") << E::fromStatus(429, {{"Retry-After", "30"}}, {})
                                                          << QList<qint64>{5000, 5000, -1};
        QTest::newRow("503 Retry-After 2") << E::fromStatus(503, {{"retry-after", " 2 "}}, {})
                                           << QList<qint64>{2000, 2000, -1};
        QTest::newRow("Retry-After 0 falls back") << E::fromStatus(429, {{"Retry-After", "0"}}, {}) << backoff;
        QTest::newRow("Retry-After as a past date falls back")
            << E::fromStatus(429, {{"Retry-After", "Wed, 21 Oct 2026 07:28:00 GMT"}}, {}) << backoff;
        const QByteArray inAnHour = QDateTime::currentDateTimeUtc().addSecs(3600).toString(Qt::RFC2822Date).toLatin1();
        QTest::newRow("Retry-After as a date an hour away is cut to 5 s")
            << E::fromStatus(503, {{"Retry-After", inAnHour}}, {}) << QList<qint64>{5000, 5000, -1};
        QTest::newRow("500") << E::fromStatus(500, none, "<html>oops</html>") << final;
        QTest::newRow("401") << E::fromStatus(401, none, {}) << final;
        QTest::newRow("403") << E::fromStatus(403, none, R"({"error":"forbidden","reason":"x"})") << final;
    }
    void retryTable()
    {
        QFETCH(LeaderboardError, error);
        QFETCH(QList<qint64>, delays);
        for (int attempt = 1; attempt <= 3; ++attempt) {
            const auto delay = LeaderboardRetry::delayAfter(error, attempt);
            QCOMPARE(delay ? delay->count() : -1, delays[attempt - 1]);
        }
    }

    void refreshPublishesListsAndRanks()
    {
        LocalHttpServer server;
        LeaderboardRig rig;
        rig.useDatabase(server.url() + "/ovra");
        rig.signIn("alice", "secret");
        rig.dictate("un deux trois quatre cinq");
        const QJsonArray page{record("bob", 900, "Bob"), record("alice", 5, "Alice")};
        for (const Reply& r : happyRefresh(page, 1))
            server.enqueue(r);

        awaitTask(rig.manager.refresh(*rig.store));

        QCOMPARE(rig.manager.errorMessage(), std::nullopt);
        QCOMPARE(server.requests.size(), 5);
        QCOMPARE(server.requests[0].target, QByteArray("/_session"));
        QCOMPARE(server.requests[0].header("Authorization"), "Basic " + QByteArray("alice:secret").toBase64());
        QCOMPARE(server.requests[1].target, QByteArray("/ovra/classement-alice"));
        // Own record: nobody chose a pseudo, so the account name is shown.
        const QJsonObject written = body(server.requests[2]);
        QCOMPARE(server.requests[2].method, QByteArray("PUT"));
        QCOMPARE(written.value("type").toString(), "OvraClassement");
        QCOMPARE(written.value("pseudo").toString(), "alice");
        QCOMPARE(written.value("mots").toInteger(), 5);
        QCOMPARE(written.value("majLe").toString(), "2026-12-10T16:00:00.000Z");
        QVERIFY(!written.contains("_rev"));
        const auto* pageRequest = requestWith(server, "\"sort\"");
        QVERIFY(pageRequest);
        const QJsonObject pageQuery = body(*pageRequest);
        QCOMPARE(pageQuery.value("limit").toInt(), 50);
        QCOMPARE(pageQuery.value("sort").toArray().first().toObject().value("mots").toString(), "desc");
        // The users with more words than the 5 of the user: a key of 6 or more.
        const auto* rankRequest = requestWith(server, "/_view/");
        QVERIFY(rankRequest);
        QCOMPARE(rankRequest->method, QByteArray("GET"));
        QCOMPARE(rankRequest->target,
                 QByteArray("/ovra/_design/ovra-classement/_view/par-mots?startkey=6&reduce=true"));

        QCOMPARE(rig.manager.entries().size(), 2);
        QCOMPARE(rig.manager.entries()[1], (LeaderboardEntry{"classement-alice", "Alice", 5, true}));
        QVERIFY(!rig.manager.entries()[0].isMe);
        QVERIFY(!rig.manager.hasMore());
        QCOMPARE(rig.manager.myRank(), std::optional<qint64>(2));
        QVERIFY(!rig.manager.myRankIsCapped());
        QCOMPARE(rig.manager.lastGoodUpdate(), std::optional<QDateTime>(rig.clock.current));
        QVERIFY(rig.manager.firstPageAccepted());
        QVERIFY(rig.log.contents().contains("APP classement rang: 2"));

        // The rank reaches the statistics document, and the state is cached.
        const auto snapshot = readSnapshot(rig.settings);
        QVERIFY(snapshot);
        QCOMPARE(snapshot->worldRank, std::optional<qint64>(2));
        QCOMPARE(snapshot->worldRankIsCapped, std::optional<bool>(false));
        QCOMPARE(snapshot->stats.totalWords, 5);
        const auto cache = rig.manager.cachedSnapshot();
        QVERIFY(cache);
        QCOMPARE(cache->entries.size(), 2);
        QCOMPARE(cache->myRecordName, std::optional<QString>("classement-alice"));
        QCOMPARE(cache->myRank, std::optional<qint64>(2));
        QCOMPARE(cache->myWords, 5);
        QCOMPARE(cache->savedAt, rig.clock.current);
        QCOMPARE(cache->lines(), rig.manager.entries());
    }

    void rankFirstAndCapped_data()
    {
        QTest::addColumn<bool>("viewMissing");
        QTest::addColumn<int>("ahead");
        QTest::addColumn<qint64>("rank");
        QTest::addColumn<bool>("capped");
        QTest::newRow("nobody ahead") << false << 0 << qint64(1) << false;
        QTest::newRow("one short of the limit") << false << 9999 << qint64(10000) << false;
        QTest::newRow("limit reached") << false << 10000 << qint64(10001) << true;
        QTest::newRow("beyond the limit") << false << 25000 << qint64(10001) << true;
        // A design document of an older set-up: the ids are fetched and counted.
        QTest::newRow("no view: nobody ahead") << true << 0 << qint64(1) << false;
        QTest::newRow("no view: one short of the limit") << true << 9999 << qint64(10000) << false;
        QTest::newRow("no view: limit reached") << true << 10000 << qint64(10001) << true;
    }
    void rankFirstAndCapped()
    {
        QFETCH(bool, viewMissing);
        QFETCH(int, ahead);
        QFETCH(qint64, rank);
        QFETCH(bool, capped);
        LocalHttpServer server;
        LeaderboardRig rig;
        rig.useDatabase(server.url() + "/ovra");
        rig.signIn("alice", "secret");
        // A stored snapshot with another rank is updated in place.
        StatsSnapshot old;
        old.worldRank = 77;
        old.worldRankIsCapped = false;
        old.generatedAt = QDateTime::fromString("2026-12-01T00:00:00Z", Qt::ISODate);
        writeSnapshot(rig.settings, old);
        QList<Reply> replies = happyRefresh({}, ahead);
        if (viewMissing) {
            Reply missing = json(404, {{"error", "not_found"}, {"reason", "missing_named_view"}});
            missing.awaits = "/_view/";
            QJsonArray ids;
            for (int i = 0; i < ahead; ++i)
                ids.append(QJsonObject{{"_id", QString("classement-u%1").arg(i)}});
            Reply found = docs(ids);
            found.awaits = "\"fields\"";
            replies.last() = missing;
            replies.append(found);
        }
        for (const Reply& r : replies)
            server.enqueue(r);
        awaitTask(rig.manager.refresh(*rig.store));
        QCOMPARE(rig.manager.errorMessage(), std::nullopt);
        QCOMPARE(rig.manager.myRank(), std::optional<qint64>(rank));
        QCOMPARE(rig.manager.myRankIsCapped(), capped);
        const auto* fetched = requestWith(server, "\"fields\"");
        QCOMPARE(fetched != nullptr, viewMissing);
        if (fetched) {
            const QJsonObject query = body(*fetched);
            QCOMPARE(query.value("limit").toInt(), 10000);
            QCOMPARE(query.value("selector").toObject().value("mots").toObject().value("$gte").toInteger(), 1);
        }
        const auto snapshot = readSnapshot(rig.settings);
        QCOMPARE(snapshot->worldRank, std::optional<qint64>(rank));
        QCOMPARE(snapshot->worldRankIsCapped, std::optional<bool>(capped));
        QCOMPARE(snapshot->generatedAt, old.generatedAt);
    }

    void failuresAndRetries_data()
    {
        QTest::addColumn<QList<Reply>>("replies");
        QTest::addColumn<QList<qint64>>("sleeps");
        QTest::addColumn<QString>("message"); // empty: the refresh went through
        QTest::addColumn<int>("requests");
        const Reply limited = json(429, {{"error", "too_many_requests"}});
        const QString unavailable = LeaderboardError::kUnavailableMessage;
        QTest::newRow("rate limited three times: final")
            << QList<Reply>{limited, limited, limited} << QList<qint64>{800, 2400} << unavailable << 3;
        QTest::newRow("Retry-After 30 waits 5 s")
            << (QList<Reply>{withHeader(limited, "Retry-After", "30")} + happyRefresh()) << QList<qint64>{5000}
            << QString() << 6;
        QTest::newRow("503 then fine") << (QList<Reply>{json(503, {})} + happyRefresh()) << QList<qint64>{800}
                                       << QString() << 6;
        // Qt sends an idempotent request once more on a connection that closed: the requests
        // are counted at least once per attempt.
        QTest::newRow("connection reset every time")
            << QList<Reply>{Reply::drop()} << QList<qint64>{800, 2400} << LeaderboardError::kNoNetworkMessage << -3;
        // Qt reports bytes that are not HTTP, then a close, as a closed connection.
        QTest::newRow("not HTTP at all") << QList<Reply>{Reply::raw("garbage\r\n\r\n")} << QList<qint64>{800, 2400}
                                         << LeaderboardError::kNoNetworkMessage << -3;
        QTest::newRow("500 is final") << QList<Reply>{Reply::json(500, "<html>boom</html>")} << QList<qint64>{}
                                      << unavailable << 1;
        Reply html = Reply::json(200, "<!doctype html><html><body>Bienvenue</body></html>");
        html.contentType = "text/html";
        QTest::newRow("HTML instead of JSON") << QList<Reply>{html} << QList<qint64>{} << unavailable << 1;
        QTest::newRow("password refused") << QList<Reply>{json(401, {{"error", "unauthorized"}})}
                                          << QList<qint64>{} << LeaderboardError::kNotSignedInMessage << 1;
        QTest::newRow("write refused by the server")
            << QList<Reply>{session("alice"), notFound(), json(403, {{"error", "forbidden"}})} << QList<qint64>{}
            << unavailable << 3;
        QTest::newRow("page fails after publishing")
            << QList<Reply>{session("alice"), notFound(), created("classement-alice"),
                            Reply::json(200, "{\"docs\": 5}"), rankCount(0)}
            << QList<qint64>{} << unavailable << 5;
        QTest::newRow("rank count not a number")
            << QList<Reply>{session("alice"), notFound(), created("classement-alice"), firstPage({}),
                            [] {
                                Reply r = json(200, {{"rows", QJsonArray{QJsonObject{{"value", "beaucoup"}}}}});
                                r.awaits = "/_view/";
                                return r;
                            }()}
            << QList<qint64>{} << unavailable << 5;
    }
    void failuresAndRetries()
    {
        QFETCH(QList<Reply>, replies);
        QFETCH(QList<qint64>, sleeps);
        QFETCH(QString, message);
        QFETCH(int, requests);
        LocalHttpServer server;
        LeaderboardRig rig;
        rig.useDatabase(server.url() + "/ovra");
        rig.signIn("alice", "secret");
        // A negative count: the one reply answers every request, at least that many.
        if (requests < 0)
            server.setDefaultReply(replies.first());
        else
            for (const Reply& r : replies)
                server.enqueue(r);
        awaitTask(rig.manager.refresh(*rig.store));
        QCOMPARE(rig.clock.sleeps, sleeps);
        QCOMPARE(rig.manager.errorMessage().value_or(QString()), message);
        if (requests < 0)
            QVERIFY(server.requests.size() >= -requests);
        else
            QCOMPARE(server.requests.size(), requests);
        QVERIFY(!rig.manager.isLoading());
        QCOMPARE(rig.manager.needsRetryOnForeground(), !message.isEmpty() &&
                                                           message != LeaderboardError::kNotSignedInMessage);
        const QString journal = rig.log.contents();
        for (int n = 1; n <= sleeps.size(); ++n)
            QVERIFY2(journal.contains(QString("APP classement (tentative %1): ").arg(n)), qPrintable(journal));
        if (message.isEmpty())
            QVERIFY(rig.manager.myRank());
    }

    void nothingIsSentWithoutAccount_data()
    {
        QTest::addColumn<bool>("configured");
        QTest::addColumn<bool>("signedIn");
        QTest::addColumn<QString>("message");
        QTest::newRow("no database") << false << true << LeaderboardError::kNotConfiguredMessage;
        QTest::newRow("not signed in") << true << false << LeaderboardError::kNotSignedInMessage;
    }
    void nothingIsSentWithoutAccount()
    {
        QFETCH(bool, configured);
        QFETCH(bool, signedIn);
        QFETCH(QString, message);
        LocalHttpServer server;
        LeaderboardRig rig;
        if (configured)
            rig.useDatabase(server.url() + "/ovra");
        if (signedIn)
            rig.signIn("alice", "secret");
        rig.dictate("des mots");
        awaitTask(rig.manager.refresh(*rig.store));
        QCOMPARE(rig.manager.errorMessage(), std::optional<QString>(message));
        QVERIFY(server.requests.isEmpty());
        QVERIFY(!rig.manager.needsRetryOnForeground());
        QVERIFY(!awaitTask(rig.manager.removeMyEntry()));
        QCOMPARE(rig.manager.removalErrorMessage(), std::optional<QString>(message));
        QVERIFY(server.requests.isEmpty());
    }

    void pageDecodesLeniently()
    {
        LocalHttpServer server;
        LeaderboardRig rig;
        rig.useDatabase(server.url() + "/ovra");
        rig.signIn("alice", "secret");
        QJsonArray page;
        page.append(QJsonObject{{"_id", "classement-nopseudo"}, {"mots", 40}});
        page.append(QJsonObject{{"_id", "classement-textwords"}, {"pseudo", "Texte"}, {"mots", "beaucoup"}});
        page.append(record("long", 30, QString(10240, QChar('x'))));
        page.append(record("markup", 20, "<b>gras</b>\n<img src=x>"));
        page.append(QJsonObject{{"_id", "classement-numberpseudo"}, {"pseudo", 12}, {"mots", 10}});
        page.append(42);
        page.append(QJsonObject{{"pseudo", "sans nom"}, {"mots", 5}});
        page.append("texte");
        for (int i = page.size(); i < 50; ++i)
            page.append(record(QString("u%1").arg(i), 1, "U"));
        server.enqueue(session("alice"));
        server.enqueue(notFound());
        server.enqueue(created("classement-alice"));
        server.enqueue(firstPage(page));
        server.enqueue(rankCount(0));
        awaitTask(rig.manager.refresh(*rig.store));

        const auto& entries = rig.manager.entries();
        QCOMPARE(entries.size(), 47);
        QCOMPARE(entries[0], (LeaderboardEntry{"classement-nopseudo", "Anonyme", 40, false}));
        QCOMPARE(entries[1], (LeaderboardEntry{"classement-textwords", "Texte", 0, false}));
        QCOMPARE(entries[2].pseudo, QString(40, QChar('x')));
        QCOMPARE(entries[3].pseudo, "<b>gras</b> <img src=x>");
        QCOMPARE(entries[4].pseudo, "Anonyme");
        QVERIFY(rig.manager.hasMore());
        QVERIFY2(rig.log.contents().contains("APP classement: page partielle (3 enregistrement(s) en échec sur 50)"),
                 qPrintable(rig.log.contents()));
    }

    void loadMoreFollowsTheCursor_data()
    {
        QTest::addColumn<QString>("bookmark");
        QTest::newRow("bookmark") << "g1AAAABweJzLYWBgYMpgSmHgKy5JLCrJTq2MT8lPzkzJBQA";
        QTest::newRow("offset (no bookmark)") << QString();
    }
    void loadMoreFollowsTheCursor()
    {
        QFETCH(QString, bookmark);
        LocalHttpServer server;
        LeaderboardRig rig;
        rig.useDatabase(server.url() + "/ovra");
        rig.signIn("alice", "secret");
        QJsonArray first;
        for (int i = 0; i < 50; ++i)
            first.append(record(QString("u%1").arg(i), 1000 - i, "U"));
        server.enqueue(session("alice"));
        server.enqueue(notFound());
        server.enqueue(created("classement-alice"));
        Reply firstReply = docs(first, bookmark);
        firstReply.awaits = "\"sort\"";
        server.enqueue(firstReply);
        server.enqueue(rankCount(0));
        awaitTask(rig.manager.refresh(*rig.store));
        QVERIFY(rig.manager.hasMore());

        // The next page repeats a line (the board moved meanwhile) and is the last one.
        server.enqueue(docs(QJsonArray{record("u49", 951, "U"), record("v", 3, "V"), record("alice", 0, "A")}));
        awaitTask(rig.manager.loadMore());
        const QJsonObject sent = body(server.requests.last());
        if (bookmark.isEmpty()) {
            QCOMPARE(sent.value("skip").toInt(), 50);
            QVERIFY(!sent.contains("bookmark"));
        } else {
            QCOMPARE(sent.value("bookmark").toString(), bookmark);
            QVERIFY(!sent.contains("skip"));
        }
        QCOMPARE(sent.value("limit").toInt(), 50);
        QCOMPARE(rig.manager.entries().size(), 52);
        QVERIFY(rig.manager.entries().last().isMe);
        QVERIFY(!rig.manager.hasMore());
        QVERIFY(!rig.manager.pageCursor());
        QVERIFY(rig.log.contents().contains("APP classement page suivante: 50"));

        // Nothing left: no request.
        const auto count = server.requests.size();
        awaitTask(rig.manager.loadMore());
        QCOMPARE(server.requests.size(), count);
    }

    void pseudoAdoptedFromTheExistingRecord()
    {
        LocalHttpServer server;
        LeaderboardRig rig;
        rig.useDatabase(server.url() + "/ovra");
        rig.signIn("alice", "secret");
        QJsonObject existing = record("alice", 3, "Zébulon");
        existing.insert("_rev", "3-xyz");
        server.enqueue(session("alice"));
        server.enqueue(json(200, existing));
        server.enqueue(created("classement-alice"));
        server.enqueue(firstPage({}));
        server.enqueue(rankCount(0));
        awaitTask(rig.manager.refresh(*rig.store));
        const QJsonObject written = body(server.requests[2]);
        QCOMPARE(written.value("pseudo").toString(), "Zébulon");
        QCOMPARE(written.value("_rev").toString(), "3-xyz");
        QCOMPARE(written.value("mots").toInteger(), 0);
        QCOMPARE(rig.settings.stringValue(SharedDefaultsKey::leaderboardPseudo), std::optional<QString>("Zébulon"));

        // A pseudo of the user's own wins over the record's.
        rig.settings.setValue(SharedDefaultsKey::leaderboardPseudo, "Nouveau");
        server.enqueue(session("alice"));
        server.enqueue(json(200, existing));
        server.enqueue(created("classement-alice"));
        server.enqueue(firstPage({}));
        server.enqueue(rankCount(0));
        awaitTask(rig.manager.refresh(*rig.store));
        QCOMPARE(body(server.requests[7]).value("pseudo").toString(), "Nouveau");
    }

    void optOutDeletesTheRecord()
    {
        LocalHttpServer server;
        LeaderboardRig rig;
        rig.useDatabase(server.url() + "/ovra");
        rig.signIn("alice", "secret");
        rig.settings.setValue(SharedDefaultsKey::leaderboardOptOut, true);
        QJsonObject existing = record("alice", 3, "Alice");
        existing.insert("_rev", "2-r");
        server.enqueue(session("alice"));
        server.enqueue(json(200, existing));
        server.enqueue(json(200, {{"ok", true}}));
        server.enqueue(firstPage({record("bob", 9, "Bob")}));
        server.enqueue(rankCount(0));
        awaitTask(rig.manager.refresh(*rig.store));
        QCOMPARE(server.requests[2].method, QByteArray("DELETE"));
        QCOMPARE(server.requests[2].target, QByteArray("/ovra/classement-alice?rev=2-r"));
        for (const auto& r : server.requests)
            QVERIFY(r.method != "PUT");
        QVERIFY(rig.log.contents().contains("[FLOW] APP classement: entrée retirée (opt-out)"));
        QCOMPARE(rig.manager.entries().size(), 1);

        // Leaving when the record is already gone is a success, and the failure text is cleared.
        server.enqueue(session("alice"));
        server.enqueue(notFound());
        QVERIFY(awaitTask(rig.manager.leave()));
        QCOMPARE(rig.manager.removalErrorMessage(), std::nullopt);
        server.enqueue(json(500, {}));
        QVERIFY(!awaitTask(rig.manager.removeMyEntry()));
        QCOMPARE(rig.manager.removalErrorMessage(), std::optional<QString>(LeaderboardError::kUnavailableMessage));
    }

    void foregroundRetriesAFailedRefresh()
    {
        LocalHttpServer server;
        LeaderboardRig rig;
        rig.useDatabase(server.url() + "/ovra");
        rig.signIn("alice", "secret");
        const Reply down = json(503, {});
        server.enqueue(down);
        server.enqueue(down);
        server.enqueue(down);
        awaitTask(rig.manager.refresh(*rig.store));
        QVERIFY(rig.manager.needsRetryOnForeground());
        for (const Reply& r : happyRefresh())
            server.enqueue(r);
        rig.manager.applicationActivated();
        QTRY_VERIFY(rig.manager.myRank().has_value());
        QVERIFY(!rig.manager.needsRetryOnForeground());
        QCOMPARE(rig.manager.errorMessage(), std::nullopt);
        // Nothing to retry: activation sends nothing.
        const auto count = server.requests.size();
        rig.manager.applicationActivated();
        QCoreApplication::processEvents();
        QCOMPARE(server.requests.size(), count);
    }

    void join_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QList<Reply>>("replies");
        QTest::addColumn<QString>("message"); // empty: joined
        QTest::addColumn<QList<QByteArray>>("calls");
        const Reply ok = json(200, {{"ok", true}, {"name", "alice"}});
        const Reply refused = json(401, {{"error", "unauthorized"}});
        QTest::newRow("existing account") << "alice" << QList<Reply>{ok} << QString()
                                          << QList<QByteArray>{"POST /_session"};
        QTest::newRow("new account") << " alice " << QList<Reply>{refused, created("org.couchdb.user:alice"), ok}
                                     << QString()
                                     << QList<QByteArray>{"POST /_session", "PUT /_users/org.couchdb.user%3Aalice",
                                                          "POST /_session"};
        QTest::newRow("name taken") << "alice" << QList<Reply>{refused, json(409, {{"error", "conflict"}})}
                                    << LeaderboardError::kWrongPasswordMessage
                                    << QList<QByteArray>{"POST /_session", "PUT /_users/org.couchdb.user%3Aalice"};
        QTest::newRow("name taken, replacing refused")
            << "alice" << QList<Reply>{refused, json(403, {{"error", "forbidden"}})}
            << LeaderboardError::kWrongPasswordMessage
            << QList<QByteArray>{"POST /_session", "PUT /_users/org.couchdb.user%3Aalice"};
        QTest::newRow("colon in the name") << "a:b" << QList<Reply>{} << LeaderboardError::kInvalidNameMessage
                                           << QList<QByteArray>{};
        QTest::newRow("server down") << "alice" << QList<Reply>{json(503, {}), json(503, {}), json(503, {})}
                                     << LeaderboardError::kUnavailableMessage
                                     << QList<QByteArray>{"POST /_session", "POST /_session", "POST /_session"};
    }
    void join()
    {
        QFETCH(QString, name);
        QFETCH(QList<Reply>, replies);
        QFETCH(QString, message);
        QFETCH(QList<QByteArray>, calls);
        LocalHttpServer server;
        LeaderboardRig rig;
        rig.useDatabase(server.url() + "/ovra");
        rig.settings.setValue(SharedDefaultsKey::leaderboardOptOut, true);
        for (const Reply& r : replies)
            server.enqueue(r);
        const auto joined = awaitTask(rig.manager.join(name, "mot de passe"));
        QList<QByteArray> sent;
        for (const auto& r : server.requests)
            sent.append(r.method + ' ' + r.target);
        QCOMPARE(sent, calls);
        if (message.isEmpty()) {
            QVERIFY(joined);
            QCOMPARE(*joined, "alice");
            const auto credentials = awaitTask(rig.manager.account().credentials());
            QVERIFY(credentials);
            QCOMPARE(credentials->name, "alice");
            QCOMPARE(credentials->password, "mot de passe");
            QVERIFY(!rig.settings.boolValue(SharedDefaultsKey::leaderboardOptOut, true));
            QVERIFY(!body(server.requests.first()).isEmpty());
            QVERIFY(server.requests.first().header("Authorization").isEmpty());
        } else {
            QVERIFY(!joined);
            QCOMPARE(joined.error().userMessage(), message);
            QVERIFY(!rig.manager.account().userName());
            QVERIFY(rig.settings.boolValue(SharedDefaultsKey::leaderboardOptOut, false));
        }
    }

    void cachedSnapshotRoundTrip()
    {
        LeaderboardCachedSnapshot s;
        s.entries = {{"classement-a", "A", 10}, {"classement-b", "Anonyme", 0}};
        s.myRecordName = "classement-b";
        s.myRank = 2;
        s.myRankIsCapped = true;
        s.myWords = 0;
        s.savedAt = QDateTime::fromString("2026-12-10T16:00:00.250Z", Qt::ISODateWithMs);
        const QByteArray bytes = s.encode();
        QVERIFY2(bytes.contains("\"savedAt\":818611200.25"), bytes);
        QCOMPARE(LeaderboardCachedSnapshot::decode(bytes), std::optional<LeaderboardCachedSnapshot>(s));
        QVERIFY(s.lines()[1].isMe);
        LeaderboardCachedSnapshot bare;
        bare.savedAt = s.savedAt;
        QVERIFY(!bare.encode().contains("myRank\""));
        QCOMPARE(LeaderboardCachedSnapshot::decode(bare.encode()), std::optional<LeaderboardCachedSnapshot>(bare));
        for (const QByteArray& bad : {QByteArray("not json"), QByteArray("{}"),
                                     QByteArray(R"({"entries":[{"id":1}],"myRankIsCapped":false,"myWords":0,"savedAt":0})"),
                                     QByteArray(R"({"entries":[],"myRank":"x","myRankIsCapped":false,"myWords":0,"savedAt":0})")})
            QVERIFY2(!LeaderboardCachedSnapshot::decode(bad), bad);
    }

    void databaseAddress_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("server"); // empty: refused
        QTest::addColumn<QString>("database");
        QTest::newRow("host and database") << "https://classement.example.org/ovra" << "https://classement.example.org" << "ovra";
        QTest::newRow("behind a prefix") << "http://h:5984/couch/ovra/" << "http://h:5984/couch" << "ovra";
        QTest::newRow("no database") << "https://classement.example.org/" << "" << "";
        QTest::newRow("not http") << "ftp://h/ovra" << "" << "";
        QTest::newRow("garbage") << "ovra" << "" << "";
    }
    void databaseAddress()
    {
        QFETCH(QString, url);
        QFETCH(QString, server);
        QFETCH(QString, database);
        const auto location = CouchDBLocation::parse(url);
        QCOMPARE(location.has_value(), !server.isEmpty());
        if (location) {
            QCOMPARE(location->server.toString(), server);
            QCOMPARE(location->database, database);
        }
    }
};

QTEST_GUILESS_MAIN(TestLeaderboardManager)
#include "tst_leaderboardmanager.moc"
