// Reading a browser's address on the accessibility bus (budget: 300 ms on the desktop; the
// dictation waits for it before the address's mode applies). Needs an X server and an
// accessibility bus: tests/rigs/with-atspi.sh build/bench/bench_atspi
// - BM_AddressBar: a Qt program whose address bar is a line edit (the whole window walked).
// - BM_WebDocument: a window with an address bar and web documents carrying DocURL.
#include "AwaitTask.h"
#include "FakeBrowserProcess.h"
#include "platform/linux/atspi/AtspiBrowserAddress.h"

#include <QElapsedTimer>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <vector>

using namespace std::chrono_literals;

namespace {
const QString kName = QStringLiteral("navigateur-essai");

void measure(benchmark::State& state, FakeBrowserProcess& browser)
{
    if (!browser.waitForLine(QStringLiteral("ready"))) {
        state.SkipWithError("the browser did not start");
        return;
    }
    AtspiConnection bus;
    AtspiBrowserAddress reader(bus, 5s);
    // Until the program shows on the bus.
    QDeadlineTimer listed(20000);
    while (!awaitTask(reader.frontPageAddress(kName)) && !listed.hasExpired())
        QTest::qWait(50);
    std::vector<double> ms;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        const auto address = awaitTask(reader.frontPageAddress(kName));
        ms.push_back(timer.nsecsElapsed() / 1e6);
        if (!address) {
            state.SkipWithError(qPrintable(address.error()));
            return;
        }
    }
    std::sort(ms.begin(), ms.end());
    state.counters["p50_ms"] = ms[ms.size() / 2];
    state.counters["p95_ms"] = ms[std::min(ms.size() - 1, ms.size() * 95 / 100)];
}

void BM_AddressBar(benchmark::State& state)
{
    FakeBrowserProcess browser({QStringLiteral("--name"), kName, QStringLiteral("--label"),
                                QStringLiteral("Search or enter address"), QStringLiteral("--address"),
                                QStringLiteral("https://www.exemple.fr/")});
    measure(state, browser);
}
BENCHMARK(BM_AddressBar)->Unit(benchmark::kMillisecond)->Iterations(100);

void BM_WebDocument(benchmark::State& state)
{
    FakeBrowserProcess browser({QStringLiteral("--name"), kName, QStringLiteral("--bar"),
                                QStringLiteral("https://devant.exemple.fr/"), QStringLiteral("--hidden"),
                                QStringLiteral("https://fond.exemple.fr/"), QStringLiteral("--page"),
                                QStringLiteral("https://devant.exemple.fr/")},
                               QStringLiteral(FAKE_WEB_DOCUMENT));
    measure(state, browser);
}
BENCHMARK(BM_WebDocument)->Unit(benchmark::kMillisecond)->Iterations(100);
} // namespace
