#include "CliArgs.h"
#include "CliCommand.h"
#include "CliVocabulary.h"
#include "HeadlessDictation.h"
#include "RecordLookup.h"
#include "Services.h"

#include "ai/CloudProviderCatalog.h"
#include "audio/AudioFile.h"

#include <QCoroFuture>
#include <QtConcurrent/QtConcurrentRun>

namespace {

// The mode's own settings, with the one-off overrides of the command line.
Expected<TranscriptionMode, QString> withOverrides(TranscriptionMode mode, const CliArgs& a)
{
    if (a.has(QStringLiteral("provider"))) {
        const auto provider = transcriptionProviderFromRaw(a.option(QStringLiteral("provider")));
        if (!provider)
            return unexpected(QStringLiteral("Fournisseur de transcription inconnu : %1 (%2)")
                                  .arg(a.option(QStringLiteral("provider")),
                                       CliVocabulary::listed(CliVocabulary::transcriptionProviders())));
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
        co_return usageError(ctx, parsed.error());
    if (parsed->positional().size() != 1)
        co_return usageError(ctx, {});
    const QString file = parsed->at(0);
    // A wrong override is bad usage whatever the file: checked on a default mode first.
    if (const auto checked = withOverrides(TranscriptionMode(), *parsed); !checked)
        co_return usageError(ctx, checked.error());

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
    {
        ProgressLine progress(ctx.terminal, [&dictation] { return dictation.progress(); });
        auto transcribing = controller.transcribeFile(file, *withOverrides(*mode, *parsed));
        co_await transcribing;
    }
    co_return dictation.reportOutcome(ctx.out, ctx.err);
}

} // namespace

QList<CliCommand> transcribeCommands()
{
    return {{QStringLiteral("transcribe"),
             QStringLiteral("Transcrit un fichier audio avec le mode actif (ou celui nommé) et affiche le texte."),
             &transcribeCommand,
             QStringLiteral("FICHIER [--mode NOM|ID] [--provider FOURNISSEUR] [--model MODÈLE] [--language LANGUE] "
                            "[--trim]"),
             {},
             QStringLiteral("Options :\n"
                            "  --mode NOM|ID            ce mode à la place du mode actif\n"
                            "  --provider FOURNISSEUR   pour cette fois : %1\n"
                            "  --model MODÈLE           pour cette fois, le modèle de transcription\n"
                            "  --language LANGUE        pour cette fois, code de langue (en, fr…) ou auto\n"
                            "  --trim                   retire les silences avant l'envoi\n"
                            "La dictée est enregistrée dans l'historique.")
                 .arg(CliVocabulary::listed(CliVocabulary::transcriptionProviders()))}};
}
