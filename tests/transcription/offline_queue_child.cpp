// Enqueues one dictation, then starts a drain whose transcription never answers: the test kills
// this process with SIGKILL in the middle of the drain.
#include "OfflineQueueFixture.h"

#include <QCoreApplication>
#include <QCoroSignal>
#include <QTimer>
#include <cstdio>

namespace {
class HangingTranscriber : public Transcriber
{
public:
    QCoro::Task<Expected<QString, TranscriptionError>> transcribe(TranscriptionJob) override
    {
        std::printf("processing\n");
        std::fflush(stdout);
        QTimer never;
        never.start(24 * 3600 * 1000);
        co_await qCoro(&never, &QTimer::timeout);
        co_return QStringLiteral("jamais");
    }
    std::optional<double> lastCostUSD() const override { return std::nullopt; }
};
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    OfflineQueueFixture fx(QString::fromLocal8Bit(argv[1]));
    if (fx.queue.enqueue(fx.recording(), OfflineQueueFixture::mode(QStringLiteral("Hors ligne")),
                         QString(), 3.5))
        return 1;
    std::printf("enqueued\n");
    std::fflush(stdout);
    HangingTranscriber transcriber;
    FakeChatClient chat;
    fx.queue.start(transcriber, chat);
    return app.exec();
}
