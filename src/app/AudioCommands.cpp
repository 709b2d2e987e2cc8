// Microphone and system-recogniser commands: devices, record, recognize, dictate.
#include "CliArgs.h"
#include "CliCommand.h"
#include "HeadlessDictation.h"
#include "RecordLookup.h"
#include "ProgressLine.h"
#include "QueueDrain.h"
#include "Services.h"
#include "Terminal.h"

#include "audio/AudioFile.h"
#include "dictation/MacAudioRecorder.h"
#include "platform/AudioCapture.h"
#include "platform/linux/signals/TerminationSignals.h"
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

QCoro::Task<int> devicesCommand(CliContext& ctx, QStringList args)
{
    if (!args.isEmpty())
        co_return usageError(ctx, {});
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

// Waits for Enter, the time limit or `stopped()`, whichever comes first.
QCoro::Task<> waitForStop(double seconds, std::function<bool()> stopped)
{
    QElapsedTimer clock;
    clock.start();
    bool stdinOpen = true;
    while (!stopped()) {
        if (seconds > 0 && clock.elapsed() >= qint64(seconds * 1000))
            co_return;
        if (stdinOpen) {
            const Stdin s = pollStdin();
            if (s == Stdin::line)
                co_return;
            // No terminal and no time limit: nothing could ever stop the recording.
            if (s == Stdin::closed && seconds <= 0)
                co_return;
            stdinOpen = s != Stdin::closed;
        }
        co_await QCoro::sleepFor(std::chrono::milliseconds(20));
    }
}

Expected<double, QString> secondsOption(const CliArgs& a)
{
    if (!a.has(QStringLiteral("seconds")))
        return 0.0;
    bool ok = false;
    const double s = a.option(QStringLiteral("seconds")).toDouble(&ok);
    if (!ok || s <= 0)
        return unexpected(QStringLiteral("--seconds attend un nombre positif."));
    return s;
}

QCoro::Task<int> recordCommand(CliContext& ctx, QStringList args)
{
    const auto parsed = CliArgs::parse(args, {}, {QStringLiteral("seconds")});
    if (!parsed || parsed->positional().size() != 1)
        co_return usageError(ctx, parsed ? QString() : parsed.error());
    const auto limit = secondsOption(*parsed);
    if (!limit)
        co_return usageError(ctx, limit.error());
    const double seconds = limit.value();
    const QString target = QFileInfo(parsed->at(0)).absoluteFilePath();
    // The name says the format; a name without an extension gets the recorder's own M4A.
    const std::optional<AudioFormat> format = QFileInfo(target).suffix().isEmpty()
                                                  ? std::optional<AudioFormat>(AudioFormat::m4a)
                                                  : AudioFile::formatForFileName(target);
    if (!format)
        co_return usageError(ctx, QStringLiteral("Format non pris en charge : « .%1 » (wav, flac, ogg ou m4a).")
                                      .arg(QFileInfo(target).suffix()));
    if (!QFileInfo(QFileInfo(target).absolutePath()).isDir()) {
        ctx.err << QStringLiteral("Le dossier de %1 n'existe pas.").arg(target) << "\n";
        co_return 1;
    }

    // Ctrl-C, SIGTERM or a closed terminal end the recording as Enter does: the file is kept.
    TerminationSignals termination;
    MacAudioRecorder& recorder = ctx.services.recorder();
    auto asking = recorder.requestPermission();
    if (!co_await asking) {
        ctx.err << MacDictationController::micPermissionMessage() << "\n";
        co_return 1;
    }
    if (auto started = recorder.start(); !started) {
        ctx.err << started.error() << "\n";
        co_return 1;
    }
    {
        if (!ctx.terminal.errorIsTerminal())
            ctx.err << QStringLiteral("Enregistrement… ") << ProgressLine::stopHint(seconds) << "\n";
        ctx.err.flush();
        ProgressLine progress(ctx.terminal, [&recorder, seconds] {
            return ProgressLine::State{QStringLiteral("Enregistrement…"),
                                       ProgressLine::recordingDetail(recorder.currentLevel(), seconds)};
        });
        auto waiting = waitForStop(
            seconds, [&recorder, &termination] { return termination.received() || !recorder.interruption().isEmpty(); });
        co_await waiting;
    }
    const QString interruption = recorder.interruption();
    const auto file = co_await recorder.stop();
    if (!interruption.isEmpty())
        ctx.err << interruption << "\n";
    if (!file) {
        ctx.err << MacAudioRecorder::kNoRecording << "\n";
        co_return 1;
    }
    if (*format != AudioFormat::m4a) {
        const QString recorded = *file;
        QFuture<Expected<void, AudioError>> converting = QtConcurrent::run([recorded, target, format] {
            return AudioFile::transcode(recorded, target, *format, AudioFile::kDecodeRate, 0);
        });
        const auto converted = co_await converting;
        if (!converted) {
            ctx.err << converted.error().message << QStringLiteral(" ; l'enregistrement reste dans %1").arg(recorded)
                    << "\n";
            co_return 1;
        }
        QFile::remove(recorded);
    } else if (QFile::remove(target); !QFile::rename(*file, target)) {
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
        co_return usageError(ctx, parsed ? QString() : parsed.error());
    const QString language = parsed->option(QStringLiteral("language"), QStringLiteral("auto"));
    const auto text = co_await ctx.services.systemRecognizer().transcribe(parsed->at(0), language);
    if (!text) {
        ctx.err << text.error().message() << "\n";
        co_return 1;
    }
    ctx.out << text.value() << "\n";
    co_return 0;
}

// One dictation from the microphone through the active (or named) mode's whole pipeline; the
// text is printed, stored in the history and put on the clipboard when a display is present.
QCoro::Task<int> dictateCommand(CliContext& ctx, QStringList args)
{
    const auto parsed = CliArgs::parse(args, {}, {QStringLiteral("seconds"), QStringLiteral("mode")});
    if (!parsed || !parsed->positional().isEmpty())
        co_return usageError(ctx, parsed ? QString() : parsed.error());
    const auto limit = secondsOption(*parsed);
    if (!limit)
        co_return usageError(ctx, limit.error());

    // Ctrl-C, SIGTERM or a closed terminal stop the dictation as Enter does: it goes through.
    TerminationSignals termination;
    HeadlessDictation dictation(ctx.services);
    MacDictationController& controller = dictation.controller();
    Settings& settings = ctx.services.settings();
    // A named mode serves this dictation only: the user's active mode is put back afterwards.
    const QVariant previousID = settings.value(SharedDefaultsKey::activeModeID);
    const QVariant previousName = settings.value(SharedDefaultsKey::activeModeName);
    const bool named = parsed->has(QStringLiteral("mode"));
    if (named) {
        const auto found = lookupRecord<TranscriptionMode>(
            ctx.services.store(), parsed->option(QStringLiteral("mode")),
            [](const TranscriptionMode& m) { return m.name; }, QStringLiteral("mode"));
        if (!found) {
            ctx.err << found.error() << "\n";
            co_return 1;
        }
        controller.setActiveMode(*found);
    }
    auto restore = [&] {
        if (!named)
            return;
        for (const auto& [key, value] : {std::pair{SharedDefaultsKey::activeModeID, previousID},
                                         std::pair{SharedDefaultsKey::activeModeName, previousName}}) {
            if (value.isValid())
                settings.setValue(key, value);
            else
                settings.remove(SharedDefaults::key(key));
        }
    };

    const int pendingBefore = ctx.services.offlineQueue().pendingCount();
    auto starting = controller.start(DictationTrigger::window);
    co_await starting;
    if (controller.state() != RecordingState::recording) {
        restore();
        ctx.err << controller.errorMessage().value_or(MacAudioRecorder::kNoRecording) << "\n";
        co_return 1;
    }
    if (!ctx.terminal.errorIsTerminal())
        ctx.err << QStringLiteral("Dictée… ") << ProgressLine::stopHint(limit.value()) << "\n";
    ctx.err.flush();
    MacAudioRecorder& recorder = ctx.services.recorder();
    {
        ProgressLine progress(ctx.terminal, [&dictation, &limit] { return dictation.progress(limit.value()); });
        auto waiting = waitForStop(limit.value(), [&] {
            return termination.received() || controller.state() != RecordingState::recording ||
                   !recorder.interruption().isEmpty();
        });
        co_await waiting;
        auto stopping = controller.stop();
        co_await stopping;
    }
    restore();
    const int code = dictation.reportOutcome(ctx.out, ctx.err);
    // Transcribed without going to the queue: the network answers, so what waited goes through
    // too, unless the desktop application owns the queue.
    OfflineTranscriptionQueue& queue = ctx.services.offlineQueue();
    if (code != 0 || queue.pendingCount() == 0 || queue.pendingCount() > pendingBefore ||
        QueueDrain::desktopApplicationRunning())
        co_return code;
    ctx.err << QStringLiteral("Transcription des dictées en attente (%1)…\n").arg(queue.pendingCount());
    ctx.err.flush();
    auto draining = QueueDrain::run(ctx.services);
    const QueueDrain::Report report = co_await draining;
    for (const QString& line : QueueDrain::transcribedLines(report, ctx.services))
        ctx.err << "Transcrite : " << line << "\n";
    QueueDrain::reportProblems(report, ctx.services, ctx.err);
    co_return code;
}

} // namespace

QList<CliCommand> audioCommands()
{
    return {
        {QStringLiteral("dictate"),
         QStringLiteral("Dicte au micro jusqu'à Entrée (ou N secondes), puis applique le mode ; affiche le texte."),
         &dictateCommand, QStringLiteral("[--seconds N] [--mode NOM|ID]"), {},
         QStringLiteral("Options :\n"
                        "  --seconds N     arrête l'enregistrement au bout de N secondes\n"
                        "  --mode NOM|ID   ce mode pour cette dictée, à la place du mode actif\n"
                        "La dictée est enregistrée dans l'historique et, avec un écran, copiée dans le\n"
                        "presse-papiers. Sans réseau, elle attend (ovra queue) ; avec, les dictées qui\n"
                        "attendaient sont transcrites ensuite, sauf si l'application de bureau est lancée.")},
        {QStringLiteral("record"), QStringLiteral("Enregistre le micro dans un fichier jusqu'à Entrée (ou N secondes)."),
         &recordCommand, QStringLiteral("FICHIER [--seconds N]"), {},
         QStringLiteral("Options :\n"
                        "  --seconds N   arrête l'enregistrement au bout de N secondes\n"
                        "Le format suit l'extension de FICHIER : wav, flac, ogg ou m4a (sans extension : m4a).\n"
                        "Affiche le chemin du fichier écrit.")},
        {QStringLiteral("recognize"),
         QStringLiteral("Reconnaît la parole d'un fichier audio avec le moteur hors ligne de cette machine."),
         &recognizeCommand, QStringLiteral("FICHIER [--language LANGUE]"), {},
         QStringLiteral("Options :\n"
                        "  --language LANGUE   code de langue (en, fr…) ; par défaut celle du système")},
        {QStringLiteral("devices"), QStringLiteral("Liste les micros ; le micro par défaut est marqué."),
         &devicesCommand, QString(), {}, QString(), Services::StoreUse::none},
    };
}
