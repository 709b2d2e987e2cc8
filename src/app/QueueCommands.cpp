#include "CliArgs.h"
#include "CliCommand.h"
#include "Services.h"
#include "transcription/OfflineTranscriptionQueue.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

QCoro::Task<int> queueCommand(CliContext& ctx, QStringList args)
{
    const auto parsed = CliArgs::parse(args, {QStringLiteral("json")}, {});
    if (!parsed || !parsed->positional().isEmpty())
        co_return usageError(ctx, parsed ? QString() : parsed.error());
    const QList<PendingMeta> items = ctx.services.offlineQueue().pendingItems();
    if (parsed->flag(QStringLiteral("json"))) {
        QJsonArray array;
        for (const PendingMeta& item : items)
            array.append(QJsonDocument::fromJson(item.encode()).object());
        ctx.out << QJsonDocument(array).toJson(QJsonDocument::Indented);
        co_return 0;
    }
    if (items.isEmpty()) {
        ctx.out << "Aucune dictée en attente.\n";
        co_return 0;
    }
    for (const PendingMeta& item : items)
        ctx.out << QDateTime::fromMSecsSinceEpoch(qint64(item.createdAt * 1000)).toString(QStringLiteral("yyyy-MM-dd HH:mm"))
                << "  " << item.modeName << "  " << item.provider << " " << item.model << "  "
                << QString::number(item.duration, 'f', 1) << " s  " << uuidText(item.id) << "\n";
    co_return 0;
}

} // namespace

QList<CliCommand> queueCommands()
{
    return {{QStringLiteral("queue"), QStringLiteral("Liste les dictées hors-ligne en attente de transcription."),
             &queueCommand, QStringLiteral("[--json]"), {},
             QStringLiteral("Une dictée faite sans réseau attend dans le dossier « PendingTranscriptions » et\n"
                            "est transcrite au retour du réseau par l'application de bureau.\n"
                            "Options :\n"
                            "  --json   les éléments en attente, sous les clés de leurs métadonnées")}};
}
