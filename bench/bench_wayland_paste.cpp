// From the paste call (the shortcut's key release) to the paste chord flushed to the compositor,
// through data-control and the virtual keyboard: the clipboard is saved, set and confirmed by a
// round trip before the keys leave (target: 10 ms or less).
// Needs a wlroots compositor: tests/rigs/with-sway.sh build/bench/bench_wayland_paste
#include "dictation/TextDelivery.h"
#include "platform/linux/wayland/WaylandConnection.h"
#include "platform/linux/wayland/WaylandFrontmostApplication.h"
#include "platform/linux/wayland/WaylandKeySynthesizer.h"
#include "platform/linux/wayland/WaylandPasteboard.h"

#include <QGuiApplication>
#include <benchmark/benchmark.h>

namespace {
WaylandConnection* g_wayland = nullptr;
}

static void BM_WaylandPasteAtCursor(benchmark::State& state)
{
    WaylandPasteboard pasteboard(*g_wayland);
    WaylandKeySynthesizer keys(*g_wayland);
    WaylandFrontmostApplication frontmost(*g_wayland);
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
BENCHMARK(BM_WaylandPasteAtCursor)->Unit(benchmark::kMicrosecond)->Iterations(2000);

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    auto wayland = WaylandConnection::open();
    if (!wayland) {
        fprintf(stderr, "bench_wayland_paste needs a compositor (run it through tests/rigs/with-sway.sh)\n");
        return 1;
    }
    g_wayland = wayland.get();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
