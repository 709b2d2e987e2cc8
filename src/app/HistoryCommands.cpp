#include "CliArgs.h"
#include "CliCommand.h"
#include "Services.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <climits>

namespace {

QCoro::Task<int> historyCommand(CliContext& ctx, QStringList args)
{
    const auto parsed = CliArgs::parse(args, {QStringLiteral("json")}, {QStringLiteral("limit")});
    if (!parsed || !parsed->positional().isEmpty())
        co_return usageError(ctx, parsed ? QString() : parsed.error());
    qsizetype limit = -1;
    if (parsed->has(QStringLiteral("limit"))) {
        bool ok = false;
        limit = parsed->option(QStringLiteral("limit")).toLongLong(&ok);
        if (!ok || limit <= 0)
            co_return usageError(ctx, QStringLiteral("--limit attend un nombre positif."));
    }
    // Newest first; ties by id, so --limit N gives exactly the head of the whole list.
    const QList<SortKey> order{{QStringLiteral("createdAt"), false}, {QStringLiteral("id"), true}};
    const QList<Transcription> all =
        limit >= 0 ? ctx.services.store().fetchFirst<Transcription>(int(std::min<qsizetype>(limit, INT_MAX)), order)
                   : ctx.services.store().fetch<Transcription>({}, order);

    if (parsed->flag(QStringLiteral("json"))) {
        QJsonArray array;
        for (const Transcription& t : all)
            array.append(toJson(t));
        ctx.out << QJsonDocument(array).toJson(QJsonDocument::Indented);
        co_return 0;
    }
    if (all.isEmpty())
        ctx.err << "Aucune dictée.\n";
    for (const Transcription& t : all) {
        QString text = t.text;
        text.replace(QLatin1Char('\n'), QLatin1Char(' '));
        ctx.out << t.createdAt.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")) << "  " << t.modeName
                << "  " << text << "\n";
    }
    co_return 0;
}

} // namespace

QList<CliCommand> historyCommands()
{
    return {{QStringLiteral("history"), QStringLiteral("Affiche les dictées, des plus récentes aux plus anciennes."),
             &historyCommand, QStringLiteral("[--json] [--limit N]"), {},
             QStringLiteral("Options :\n"
                            "  --json      un tableau JSON des dictées\n"
                            "  --limit N   les N plus récentes seulement (N > 0)"),
             Services::StoreUse::readOnly}};
}
