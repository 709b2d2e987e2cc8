// The leaderboard against a local CouchDB-compatible server holding 10,000 records:
// tests/rigs/with-couchdb.sh build/bench/bench_leaderboard
// - BM_Refresh: publish the user's record, load the first page and count the users ahead
//   (about 5,000 of them) — target: 300 ms or less.
#include "AwaitTask.h"
#include "leaderboard/CouchDBAdmin.h"
#include "leaderboard/LeaderboardTestSupport.h"

#include <benchmark/benchmark.h>

namespace {

constexpr int kRecords = 10000;

void BM_Refresh(benchmark::State& state)
{
    if (serverUrl().isEmpty()) {
        state.SkipWithError("needs tests/rigs/with-couchdb.sh");
        return;
    }
    Admin admin;
    const QString db = admin.createDatabase(QStringLiteral("bench"));
    for (int chunk = 0; chunk < kRecords / 1000; ++chunk) {
        QJsonArray docs;
        for (int i = 0; i < 1000; ++i) {
            const int n = chunk * 1000 + i;
            docs.append(QJsonObject{{"_id", QString("classement-u%1").arg(n)},
                                    {"type", "OvraClassement"},
                                    {"pseudo", QString("Utilisateur %1").arg(n)},
                                    {"mots", (n * 7919) % 100000},
                                    {"majLe", "2026-12-01T10:00:00.000Z"}});
        }
        if (!admin.bulk(QStringLiteral("bench"), docs)) {
            state.SkipWithError("could not fill the database");
            return;
        }
    }
    LeaderboardRig rig;
    rig.useDatabase(db);
    if (!awaitTask(rig.manager.join(QStringLiteral("banc"), QStringLiteral("secret")))) {
        state.SkipWithError("could not join");
        return;
    }
    rig.dictate(QStringList(50000, QStringLiteral("mot")).join(QLatin1Char(' ')));
    // The first query builds the index: not what a user waits for on each refresh.
    awaitTask(rig.manager.refresh(*rig.store));
    for (auto _ : state) {
        awaitTask(rig.manager.refresh(*rig.store));
        if (rig.manager.errorMessage()) {
            state.SkipWithError(rig.manager.errorMessage()->toUtf8().constData());
            return;
        }
    }
    state.counters["rank"] = double(rig.manager.myRank().value_or(0));
    state.counters["entries"] = double(rig.manager.entries().size());
}
BENCHMARK(BM_Refresh)->Unit(benchmark::kMillisecond)->Iterations(20);

} // namespace
