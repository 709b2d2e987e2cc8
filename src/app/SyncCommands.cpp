#include "CliArgs.h"
#include "CliCommand.h"
#include "Services.h"
#include "sync/CloudFolder.h"

#include <QFileInfo>

namespace {

QCoro::Task<int> syncCommand(CliContext& ctx, QStringList args)
{
    const auto parsed = CliArgs::parse(args, {}, {});
    if (!parsed || !parsed->positional().isEmpty())
        co_return usageError(ctx, parsed ? QString() : parsed.error());
    Services& s = ctx.services;
    s.settingsSync().syncNow();
    ICloudSync& sync = s.cloudSync();
    auto syncing = sync.sync();
    co_await syncing;
    const QString message = sync.lastMessage();
    const bool failed = !sync.lastSyncedAtValue();
    (failed ? ctx.err : ctx.out) << message << "\n";
    // The message is the one every device shows; a terminal user also needs the Linux way out.
    const QString root = CloudFolder::chosenRoot(s.settings());
    if (failed && root.isEmpty())
        ctx.err << "Aucun dossier synchronisé n'est choisi : ovra settings set ovra.mac.cloudFolder CHEMIN "
                   "(ou la variable OVRA_CLOUD_DIR).\n";
    else if (failed && !QFileInfo(root).isDir())
        ctx.err << QStringLiteral("Le dossier synchronisé « %1 » est introuvable (non monté ?).\n").arg(root);
    co_return failed ? 1 : 0;
}

} // namespace

QList<CliCommand> syncCommands()
{
    return {{QStringLiteral("sync"),
             QStringLiteral("Synchronise les données et les réglages avec le dossier synchronisé ; affiche le résultat."),
             &syncCommand, {}, {},
             QStringLiteral("Le dossier : le réglage ovra.mac.cloudFolder (ovra settings set ovra.mac.cloudFolder\n"
                            "CHEMIN), ou la variable OVRA_CLOUD_DIR. Le client de synchronisation de l'utilisateur\n"
                            "(Nextcloud, Dropbox, Syncthing…) le recopie sur ses autres postes.")}};
}
