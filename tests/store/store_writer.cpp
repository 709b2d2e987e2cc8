// Writes COUNT dictations in one save, announcing the start; the crash test kills it midway.
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
    const QString text(300, QLatin1Char('x'));
    std::puts("begin");
    std::fflush(stdout);
    const StoreResult r = (*store)->save([&]() -> StoreResult {
        for (int i = 0; i < count; ++i) {
            Transcription t;
            t.text = text;
            if (auto ok = (*store)->insert(t); !ok)
                return ok;
        }
        return {};
    });
    std::puts(r ? "done" : "failed");
    return r ? 0 : 1;
}
