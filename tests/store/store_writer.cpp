// Writes COUNT dictations in one save, announcing the start. With PAUSE_AT, it stops inside the
// save once that many rows are written, says "paused" and waits on its input: the crash test
// kills it there, so the kill is known to land mid-save.
#include "store/RecordStore.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    auto store = RecordStore::open(args.value(1), {});
    if (!store)
        return 1;
    const int count = args.value(2).toInt();
    const int pauseAt = args.size() > 3 ? args.value(3).toInt() : -1;
    const QString text(300, QLatin1Char('x'));
    const auto pause = [] {
        std::puts("paused");
        std::fflush(stdout);
        char line[16];
        (void)std::fgets(line, sizeof line, stdin);
    };
    std::puts("begin");
    std::fflush(stdout);
    const StoreResult r = (*store)->save([&]() -> StoreResult {
        for (int i = 0; i < count; ++i) {
            if (i == pauseAt)
                pause();
            Transcription t;
            t.text = text;
            if (auto ok = (*store)->insert(t); !ok)
                return ok;
        }
        if (pauseAt == count)
            pause();
        return {};
    });
    std::puts(r ? "done" : "failed");
    return r ? 0 : 1;
}
