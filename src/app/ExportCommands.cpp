#include "CliArgs.h"
#include "CliCommand.h"
#include "Services.h"
#include "sync/BackupPayload.h"

namespace {

QCoro::Task<int> exportCommand(CliContext& ctx, QStringList args)
{
    const auto parsed = CliArgs::parse(args, {}, {});
    if (!parsed || parsed->positional().size() != 1)
        co_return usageError(ctx, parsed ? QString() : parsed.error());
    const QString path = parsed->at(0);
    const auto ok = exportBackupFile(ctx.services.store(), ctx.services.settings(), path);
    if (!ok) {
        ctx.err << ok.error().message << "\n";
        co_return 1;
    }
    ctx.out << QStringLiteral("Données exportées dans « %1 ».").arg(path) << "\n";
    co_return 0;
}

} // namespace

QList<CliCommand> exportCommands()
{
    return {{QStringLiteral("export"), QStringLiteral("Exporte toutes les données dans un fichier JSON."), &exportCommand,
             QStringLiteral("FICHIER"), {},
             QStringLiteral("Écrit le document de sauvegarde (dictées, modes, prompts, notes, dictionnaire,\n"
                            "suggestions, usage) ; les clés d'API n'en font jamais partie. Nom proposé :\n"
                            "ovra-donnees.json. Un fichier existant n'est remplacé qu'une fois l'export complet.")}};
}
