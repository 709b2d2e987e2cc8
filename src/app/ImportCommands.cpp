#include "CliArgs.h"
#include "CliCommand.h"
#include "Services.h"
#include "stats/StatsSnapshot.h"
#include "sync/BackupImporter.h"

namespace {

QCoro::Task<int> importCommand(CliContext& ctx, QStringList args)
{
    const auto parsed = CliArgs::parse(args, {}, {});
    if (!parsed || parsed->positional().size() != 1)
        co_return usageError(ctx, parsed ? QString() : parsed.error());
    Services& s = ctx.services;
    BackupImporter importer(s.store(), s.settings(), s.log());
    const auto summary = importer.importFile(parsed->at(0));
    if (!summary) {
        ctx.err << summary.error().message << "\n";
        co_return 1;
    }
    (void)refreshSnapshot(s.store(), s.settings());
    ctx.out << summaryText(*summary) << "\n";
    co_return 0;
}

} // namespace

QList<CliCommand> importCommands()
{
    return {{QStringLiteral("import"), QStringLiteral("Importe une sauvegarde sans créer de doublon."), &importCommand,
             QStringLiteral("FICHIER"), {},
             QStringLiteral("Fusionne le document dans les données : les enregistrements déjà présents ne sont\n"
                            "pas dupliqués, une modification plus récente remplace l'ancienne, un élément\n"
                            "supprimé ne revient pas. Un fichier illisible ne change rien.")}};
}
