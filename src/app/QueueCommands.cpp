#include "CliArgs.h"
#include "CliCommand.h"
#include "QueueDrain.h"
#include "Services.h"
#include "transcription/OfflineTranscriptionQueue.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

int listQueue(CliContext& ctx, bool json)
{
    const QList<PendingMeta> items = ctx.services.offlineQueue().pendingItems();
    if (json) {
        QJsonArray array;
        for (const PendingMeta& item : items)
            array.append(QJsonDocument::fromJson(item.encode()).object());
        ctx.out << QJsonDocument(array).toJson(QJsonDocument::Indented);
        return 0;
    }
    if (items.isEmpty()) {
        ctx.out << "Aucune dictée en attente.\n";
        return 0;
    }
    for (const PendingMeta& item : items)
        ctx.out << QDateTime::fromMSecsSinceEpoch(qint64(item.createdAt * 1000)).toString(QStringLiteral("yyyy-MM-dd HH:mm"))
                << "  " << item.modeName << "  " << item.provider << " " << item.model << "  "
                << QString::number(item.duration, 'f', 1) << " s  " << uuidText(item.id) << "\n";
    return 0;
}

QCoro::Task<int> drainQueue(CliContext& ctx, bool json)
{
    if (QueueDrain::desktopApplicationRunning()) {
        ctx.err << QueueDrain::kDesktopOwnsQueue << "\n";
        co_return 1;
    }
    if (ctx.services.offlineQueue().pendingCount() == 0) {
        if (json)
            ctx.out << QJsonDocument(QueueDrain::toJson({}, ctx.services)).toJson(QJsonDocument::Indented);
        else
            ctx.out << "Aucune dictée en attente.\n";
        co_return 0;
    }
    auto draining = QueueDrain::run(ctx.services);
    const OfflineTranscriptionQueue::DrainReport report = co_await draining;
    if (json)
        ctx.out << QJsonDocument(QueueDrain::toJson(report, ctx.services)).toJson(QJsonDocument::Indented);
    else
        for (const QString& line : QueueDrain::transcribedLines(report, ctx.services))
            ctx.out << line << "\n";
    co_return QueueDrain::reportProblems(report, ctx.services, ctx.err) ? 1 : 0;
}

QCoro::Task<int> queueCommand(CliContext& ctx, QStringList args)
{
    const auto parsed = CliArgs::parse(args, {QStringLiteral("json")}, {});
    if (!parsed)
        co_return usageError(ctx, parsed.error());
    const bool json = parsed->flag(QStringLiteral("json"));
    const QStringList positional = parsed->positional();
    if (positional.isEmpty() || positional == QStringList{QStringLiteral("list")})
        co_return listQueue(ctx, json);
    if (positional == QStringList{QStringLiteral("drain")}) {
        auto draining = drainQueue(ctx, json);
        co_return co_await draining;
    }
    co_return usageError(ctx);
}

} // namespace

QList<CliCommand> queueCommands()
{
    return {{QStringLiteral("queue"), QStringLiteral("Les dictées hors-ligne en attente : liste, transcription."),
             &queueCommand,
             {},
             {{QString(), QStringLiteral("[--json]"), QStringLiteral("Liste les dictées en attente, la plus ancienne d'abord.")},
              {QStringLiteral("list"), QStringLiteral("[--json]"), QStringLiteral("La même liste.")},
              {QStringLiteral("drain"), QStringLiteral("[--json]"),
               QStringLiteral("Transcrit maintenant les dictées en attente, une à une, et affiche leur texte.")}},
             QStringLiteral("Une dictée faite sans réseau attend dans le dossier « PendingTranscriptions ».\n"
                            "L'application de bureau la transcrit au retour du réseau ; sans elle, « ovra queue\n"
                            "drain » le fait, et « ovra dictate » aussi après sa propre dictée.\n"
                            "drain s'arrête quand le réseau est injoignable (code 1) : le reste attend.\n"
                            "Une dictée dont les métadonnées sont illisibles est écartée dans « Ecartees ».\n"
                            "Options :\n"
                            "  --json   list : les éléments sous les clés de leurs métadonnées ;\n"
                            "           drain : ce qui a été fait (transcribed, dropped, setAside, pending)")}};
}
