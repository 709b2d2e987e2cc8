// Commands that drive the running desktop application, for compositor key bindings where no
// global shortcut can be grabbed (sway: bindsym $mod+d exec ovra toggle).
#include "CliCommand.h"
#include "platform/linux/dbus/DBusControlClient.h"

namespace {

// toggle, ptt press|release, cancel, transform: one call each on the running application.
QCoro::Task<int> dictationCommand(CliContext& ctx, QStringList args)
{
    const QString& name = ctx.command.name;
    const bool ptt = name == QLatin1String("ptt");
    const bool valid = ptt ? args.size() == 1 && (args[0] == QLatin1String("press") || args[0] == QLatin1String("release"))
                           : args.isEmpty();
    if (!valid)
        co_return usageError(ctx);
    DBusControlClient app;
    const Expected<void, QString> done = ptt                              ? app.pushToTalk(args[0] == QLatin1String("press"))
                                         : name == QLatin1String("toggle") ? app.toggle()
                                         : name == QLatin1String("cancel") ? app.cancel()
                                                                           : app.transform();
    if (done)
        co_return 0;
    ctx.err << done.error() << "\n";
    co_return 1;
}

const QString kRunning = QStringLiteral("L'application de bureau doit être lancée (ovra).");

} // namespace

QList<CliCommand> controlCommands()
{
    using S = Services::StoreUse;
    return {{QStringLiteral("toggle"), QStringLiteral("Démarre ou arrête la dictée de l'application lancée."),
             &dictationCommand, {}, {}, kRunning, S::none},
            {QStringLiteral("ptt"), QStringLiteral("Appui et relâchement du raccourci « appuyer pour parler »."),
             &dictationCommand,
             {},
             {{QStringLiteral("press"), {}, QStringLiteral("Touche enfoncée : la dictée commence."), S::none},
              {QStringLiteral("release"), {}, QStringLiteral("Touche relâchée : la dictée s'arrête et est transcrite."),
               S::none}},
             kRunning + QStringLiteral(" Sous sway : bindsym TOUCHE exec ovra ptt press et "
                                       "bindsym --release TOUCHE exec ovra ptt release."),
             S::none},
            {QStringLiteral("cancel"), QStringLiteral("Abandonne la dictée en cours sans la transcrire."),
             &dictationCommand, {}, {}, kRunning, S::none},
            {QStringLiteral("transform"), QStringLiteral("Transforme le texte sélectionné, comme son raccourci."),
             &dictationCommand, {}, {}, kRunning, S::none}};
}
