// From the paste call to the key events flushed to the X server (target: 5 ms or less).
// Needs an X server: tests/rigs/with-xvfb.sh build/bench/bench_paste
#include "dictation/TextDelivery.h"
#include "platform/linux/clipboard/QtPasteboard.h"
#include "platform/linux/x11/X11Connection.h"
#include "platform/linux/x11/X11FrontmostApplication.h"
#include "platform/linux/x11/X11KeySynthesizer.h"

#include <QGuiApplication>
#include <benchmark/benchmark.h>

namespace {
X11Connection* g_x = nullptr;
}

static void BM_PasteAtCursor(benchmark::State& state)
{
    QtPasteboard pasteboard;
    X11KeySynthesizer keys(g_x);
    X11FrontmostApplication frontmost(g_x);
    TextDelivery delivery(pasteboard, keys, &frontmost);
    const QString text = QStringLiteral("Bonjour, ceci est une dictée d'une longueur ordinaire pour un message.");
    for (auto _ : state) {
        state.PauseTiming();
        pasteboard.setText(QStringLiteral("presse-papiers de l'utilisateur"));
        QCoreApplication::processEvents();
        state.ResumeTiming();
        benchmark::DoNotOptimize(delivery.pasteAtCursor(text));
    }
}
BENCHMARK(BM_PasteAtCursor)->Unit(benchmark::kMicrosecond)->Iterations(2000);

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    auto x = X11Connection::open();
    if (!x) {
        fprintf(stderr, "bench_paste needs an X server (run it through tests/rigs/with-xvfb.sh)\n");
        return 1;
    }
    g_x = x.get();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
