#include "CliArgs.h"
#include "CliCommand.h"
#include "HeadlessDictation.h"
#include "RecordLookup.h"
#include "Services.h"

#include "audio/AudioFile.h"
#include "transcription/CloudProviderCatalog.h"

#include <QCoroFuture>
#include <QtConcurrent/QtConcurrentRun>

namespace {

const QString kUsage = QStringLiteral(
    "ovra transcribe FILE [--mode NAME|ID] [--provider P] [--model M] [--language L] [--trim]");

// The mode's own settings, with the one-off overrides of the command line.
Expected<TranscriptionMode, QString> withOverrides(TranscriptionMode mode, const CliArgs& a)
{
    if (a.has(QStringLiteral("provider"))) {
        const auto provider = transcriptionProviderFromRaw(a.option(QStringLiteral("provider")));
        if (!provider)
            return unexpected(QStringLiteral("Fournisseur inconnu : ") + a.option(QStringLiteral("provider")) +
                              QStringLiteral(" (groq, openai, gemini, apple, parakeet, whisperKit)"));
        mode.transcriptionProviderRaw = rawValue(*provider);
        if (!a.has(QStringLiteral("model"))) {
            const auto entry = CloudProviderCatalog::find(rawValue(*provider));
            mode.transcriptionModel =
                entry && !entry->transcriptionModels.isEmpty() ? entry->transcriptionModels.first() : QString();
        }
    }
    if (a.has(QStringLiteral("model")))
        mode.transcriptionModel = a.option(QStringLiteral("model"));
    if (a.has(QStringLiteral("language")))
        mode.language = a.option(QStringLiteral("language"));
    if (a.flag(QStringLiteral("trim")))
        mode.trimSilence = true;
    return mode;
}

QCoro::Task<int> transcribeCommand(CliContext& ctx, QStringList args)
{
    const auto parsed = CliArgs::parse(args, {QStringLiteral("trim")},
                                       {QStringLiteral("mode"), QStringLiteral("provider"), QStringLiteral("model"),
                                        QStringLiteral("language")});
    if (!parsed)
        co_return usageError(ctx, parsed.error(), kUsage);
    if (parsed->positional().size() != 1)
        co_return usageError(ctx, {}, kUsage);
    const QString file = parsed->at(0);

    // An unreadable or non-audio file stops here, before any upload.
    // Named futures and tasks: GCC 12 mishandles temporaries inside a co_await expression.
    QFuture<Expected<double, AudioError>> reading = QtConcurrent::run([file] { return AudioFile::duration(file); });
    const auto readable = co_await reading;
    if (!readable) {
        ctx.err << readable.error().message << "\n";
        co_return 1;
    }

    HeadlessDictation dictation(ctx.services);
    MacDictationController& controller = dictation.controller();
    std::optional<TranscriptionMode> mode;
    if (parsed->has(QStringLiteral("mode"))) {
        const auto found = lookupRecord<TranscriptionMode>(
            ctx.services.store(), parsed->option(QStringLiteral("mode")),
            [](const TranscriptionMode& m) { return m.name; }, QStringLiteral("mode"));
        if (!found) {
            ctx.err << found.error() << "\n";
            co_return 1;
        }
        mode = *found;
    } else {
        mode = controller.currentMode();
    }
    const auto chosen = withOverrides(*mode, *parsed);
    if (!chosen)
        co_return usageError(ctx, chosen.error(), kUsage);

    auto transcribing = controller.transcribeFile(file, *chosen);
    co_await transcribing;
    co_return dictation.reportOutcome(ctx.out, ctx.err);
}

} // namespace

QList<CliCommand> transcribeCommands()
{
    return {{QStringLiteral("transcribe"), kUsage.mid(5), &transcribeCommand}};
}
