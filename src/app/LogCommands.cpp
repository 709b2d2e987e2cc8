#include "CliArgs.h"
#include "CliCommand.h"
#include "Services.h"

namespace {

QCoro::Task<int> logCommand(CliContext& ctx, QStringList args)
{
    const auto parsed = CliArgs::parse(args, {QStringLiteral("clear")}, {});
    if (!parsed || !parsed->positional().isEmpty())
        co_return usageError(ctx, parsed ? QString() : parsed.error());
    if (parsed->flag(QStringLiteral("clear"))) {
        ctx.services.log().clear();
        (void)ctx.services.log().contents(); // waits until the file is empty
        co_return 0;
    }
    ctx.out << ctx.services.log().contents();
    co_return 0;
}

} // namespace

QList<CliCommand> logCommands()
{
    return {{QStringLiteral("log"), QStringLiteral("Affiche le journal de l'application, ou le vide."), &logCommand,
             QStringLiteral("[--clear]"), {}, QStringLiteral("Options :\n  --clear   vide le journal"), Services::StoreUse::none}};
}
