#include "CliArgs.h"
#include "CliCommand.h"
#include "Services.h"
#include "helper/HelperSender.h"
#include "helper/HostDisplayName.h"

namespace {

QCoro::Task<int> helperCommand(CliContext& ctx, QStringList args)
{
    const auto parsed = CliArgs::parse(args, {}, {});
    if (!parsed)
        co_return usageError(ctx, parsed.error());
    const QStringList& p = parsed->positional();
    const QString verb = p.value(0);
    if ((verb != QLatin1String("pair") && verb != QLatin1String("send")) || p.size() != 3)
        co_return usageError(ctx);
    const auto target = HelperTarget::parse(p[1]);
    if (!target)
        co_return usageError(ctx, QStringLiteral("Adresse invalide : %1 (attendu HÔTE:PORT)").arg(p[1]));

    const QString name = HostDisplayName::read();
    HelperSender sender(ctx.services.keychain(), ctx.services.settings().deviceID(),
                        name.isEmpty() ? QStringLiteral("Linux") : name);
    if (verb == QLatin1String("pair")) {
        auto r = co_await sender.pair(*target, p[2]);
        if (!r) {
            ctx.err << r.error() << "\n";
            co_return 1;
        }
        ctx.err << "Associé à « " << *r << " ».\n";
        co_return 0;
    }
    if (p[2].isEmpty())
        co_return usageError(ctx, QStringLiteral("Texte vide"));
    auto r = co_await sender.send(*target, p[2]);
    if (!r) {
        ctx.err << r.error() << "\n";
        co_return 1;
    }
    ctx.err << "Texte envoyé à « " << *r << " ».\n";
    co_return 0;
}

} // namespace

QList<CliCommand> helperCommands()
{
    return {{QStringLiteral("helper"),
             QStringLiteral("Ce poste dans le rôle du téléphone : envoie du texte à un autre ordinateur Ovra."),
             &helperCommand,
             {},
             {{QStringLiteral("pair"), QStringLiteral("HÔTE:PORT CODE"),
               QStringLiteral("S'associe à l'ordinateur qui affiche le CODE à six chiffres.")},
              {QStringLiteral("send"), QStringLiteral("HÔTE:PORT TEXTE"),
               QStringLiteral("Envoie le TEXTE à l'ordinateur associé (collé ou copié là-bas).")}},
             QStringLiteral("Le secret de chaque association reste dans le trousseau (Secret Service).")}};
}
