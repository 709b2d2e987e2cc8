#include "CliArgs.h"
#include "CliCommand.h"
#include "Services.h"

#include "audio/AudioFile.h"
#include "transcription/CloudProviderCatalog.h"

#include <QCoroFuture>
#include <QtConcurrent/QtConcurrentRun>

namespace {

const QString kUsage = QStringLiteral("ovra transcribe FILE --provider P [--model M] [--language L] [--trim]");

QCoro::Task<int> transcribeCommand(CliContext& ctx, QStringList args)
{
    const auto parsed = CliArgs::parse(args, {QStringLiteral("trim")},
                                       {QStringLiteral("provider"), QStringLiteral("model"), QStringLiteral("language")});
    if (!parsed)
        co_return usageError(ctx, parsed.error(), kUsage);
    if (parsed->positional().size() != 1 || !parsed->has(QStringLiteral("provider")))
        co_return usageError(ctx, {}, kUsage);
    const auto provider = transcriptionProviderFromRaw(parsed->option(QStringLiteral("provider")));
    if (!provider)
        co_return usageError(ctx,
                             QStringLiteral("Fournisseur inconnu : ") + parsed->option(QStringLiteral("provider")) +
                                 QStringLiteral(" (groq, openai, gemini, apple, parakeet, whisperKit)"),
                             kUsage);
    QString model = parsed->option(QStringLiteral("model"));
    if (model.isEmpty()) {
        const auto entry = CloudProviderCatalog::find(rawValue(*provider));
        model = entry && !entry->transcriptionModels.isEmpty() ? entry->transcriptionModels.first() : QString();
    }
    const QString file = parsed->at(0);

    // An unreadable or non-audio file stops here, before any upload.
    // Named futures and tasks: GCC 12 mishandles temporaries inside a co_await expression.
    QFuture<Expected<double, AudioError>> reading = QtConcurrent::run([file] { return AudioFile::duration(file); });
    const auto readable = co_await reading;
    if (!readable) {
        ctx.err << readable.error().message << "\n";
        co_return 1;
    }

    const QString language = parsed->option(QStringLiteral("language"), QStringLiteral("auto"));
    const bool trim = parsed->flag(QStringLiteral("trim"));
    auto transcribing = ctx.services.transcription().transcribe(file, *provider, model, language, std::nullopt, trim);
    const auto text = co_await transcribing;
    if (!text) {
        ctx.err << text.error().description() << "\n";
        co_return 1;
    }
    ctx.out << text.value() << "\n";
    co_return 0;
}

} // namespace

QList<CliCommand> transcribeCommands()
{
    return {{QStringLiteral("transcribe"), kUsage.mid(5), &transcribeCommand}};
}
