// Microphone and system-recogniser commands: devices, record, recognize.
#include "CliArgs.h"
#include "CliCommand.h"
#include "Services.h"

#include "dictation/MacAudioRecorder.h"
#include "platform/AudioCapture.h"
#include "transcription/SystemRecognizer.h"

#include <QCoroTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QtConcurrent>
#include <QCoroFuture>
#include <poll.h>
#include <unistd.h>

namespace {

const QString kRecordUsage = QStringLiteral("ovra record FICHIER [--seconds N]");
const QString kRecognizeUsage = QStringLiteral("ovra recognize FICHIER [--language L]");

QCoro::Task<int> devicesCommand(CliContext& ctx, QStringList args)
{
    if (!args.isEmpty())
        co_return usageError(ctx, {}, QStringLiteral("ovra devices"));
    AudioCapture* capture = &ctx.services.audioCapture();
    QFuture<Expected<QList<AudioInputDevice>, CaptureError>> listing =
        QtConcurrent::run([capture] { return capture->devices(); });
    const auto devices = co_await listing;
    if (!devices) {
        ctx.err << devices.error().message << "\n";
        co_return 1;
    }
    for (const AudioInputDevice& d : devices.value())
        ctx.out << d.id << "\t" << d.description << (d.isDefault ? "\t(défaut)" : "") << "\n";
    co_return 0;
}

// True once a line (or the end of input) is waiting on stdin.
enum class Stdin { nothing, line, closed };
Stdin pollStdin()
{
    pollfd p{STDIN_FILENO, POLLIN, 0};
    if (::poll(&p, 1, 0) <= 0 || !(p.revents & (POLLIN | POLLHUP)))
        return Stdin::nothing;
    char c;
    while (true) {
        const ssize_t n = ::read(STDIN_FILENO, &c, 1);
        if (n <= 0)
            return Stdin::closed;
        if (c == '\n')
            return Stdin::line;
    }
}

QCoro::Task<int> recordCommand(CliContext& ctx, QStringList args)
{
    const auto parsed = CliArgs::parse(args, {}, {QStringLiteral("seconds")});
    if (!parsed || parsed->positional().size() != 1)
        co_return usageError(ctx, parsed ? QString() : parsed.error(), kRecordUsage);
    bool ok = true;
    const double seconds = parsed->has(QStringLiteral("seconds")) ? parsed->option(QStringLiteral("seconds")).toDouble(&ok) : 0;
    if (!ok || seconds < 0)
        co_return usageError(ctx, QStringLiteral("--seconds attend un nombre positif."), kRecordUsage);
    const QString target = QFileInfo(parsed->at(0)).absoluteFilePath();

    MacAudioRecorder& recorder = ctx.services.recorder();
    if (auto started = recorder.start(); !started) {
        ctx.err << started.error() << "\n";
        co_return 1;
    }
    ctx.err << (seconds > 0 ? QStringLiteral("Enregistrement… (Entrée pour arrêter, %1 s au plus)").arg(seconds)
                            : QStringLiteral("Enregistrement… (Entrée pour arrêter)"))
            << "\n";
    ctx.err.flush();
    QElapsedTimer clock;
    clock.start();
    bool stdinOpen = true;
    while (recorder.interruption().isEmpty()) {
        if (seconds > 0 && clock.elapsed() >= qint64(seconds * 1000))
            break;
        if (stdinOpen) {
            const Stdin s = pollStdin();
            if (s == Stdin::line)
                break;
            // No terminal and no time limit: nothing could ever stop the recording.
            if (s == Stdin::closed && seconds <= 0)
                break;
            stdinOpen = s != Stdin::closed;
        }
        co_await QCoro::sleepFor(std::chrono::milliseconds(20));
    }
    const QString interruption = recorder.interruption();
    const auto file = co_await recorder.stop();
    if (!interruption.isEmpty())
        ctx.err << interruption << "\n";
    if (!file) {
        ctx.err << MacAudioRecorder::kNoRecording << "\n";
        co_return 1;
    }
    QFile::remove(target);
    if (!QFile::rename(*file, target)) {
        // Another file system: copy, then drop the temporary recording.
        if (!QFile::copy(*file, target)) {
            ctx.err << QStringLiteral("Impossible d'écrire %1 ; l'enregistrement reste dans %2").arg(target, *file) << "\n";
            co_return 1;
        }
        QFile::remove(*file);
    }
    ctx.out << target << "\n";
    co_return interruption.isEmpty() ? 0 : 1;
}

QCoro::Task<int> recognizeCommand(CliContext& ctx, QStringList args)
{
    const auto parsed = CliArgs::parse(args, {}, {QStringLiteral("language")});
    if (!parsed || parsed->positional().size() != 1)
        co_return usageError(ctx, parsed ? QString() : parsed.error(), kRecognizeUsage);
    const QString language = parsed->option(QStringLiteral("language"), QStringLiteral("auto"));
    const auto text = co_await ctx.services.systemRecognizer().transcribe(parsed->at(0), language);
    if (!text) {
        ctx.err << text.error().message() << "\n";
        co_return 1;
    }
    ctx.out << text.value() << "\n";
    co_return 0;
}

} // namespace

QList<CliCommand> audioCommands()
{
    return {
        {QStringLiteral("devices"), QStringLiteral("devices"), &devicesCommand},
        {QStringLiteral("record"), kRecordUsage.mid(5), &recordCommand},
        {QStringLiteral("recognize"), kRecognizeUsage.mid(5), &recognizeCommand},
    };
}
