#include "CliArgs.h"
#include "CliCommand.h"
#include "Services.h"
#include "helper/HelperSender.h"
#include "helper/HelperDiscovery.h"
#include "helper/HostDisplayName.h"
#include "platform/linux/avahi/AvahiServiceBrowser.h"
#include "platform/linux/dbus/DBusControlClient.h"

#include <QLocale>

namespace {

QString yesNo(bool value) { return value ? QStringLiteral("oui") : QStringLiteral("non"); }

void printStatus(QTextStream& out, const RemoteHelperStatus& s)
{
    out << "Réception : " << (s.enabled ? "activée" : "désactivée") << "\n";
    if (s.running)
        out << "À l'écoute : port TCP " << s.port << " de « " << s.name << " »\n";
    else
        out << "À l'écoute : non\n";
    if (s.running)
        out << "Annoncé sur le réseau local : "
            << (s.advertised ? QStringLiteral("oui") : QStringLiteral("non (donnez l'adresse et le port au téléphone)"))
            << "\n";
    out << "Collage automatique : " << yesNo(s.autoPaste) << "\n";
    if (s.pairingCode)
        out << "Association en cours : code " << *s.pairingCode << ", encore " << s.pairingSecondsLeft << " s\n";
    out << "Téléphones associés : " << (s.phones.isEmpty() ? QStringLiteral("aucun") : s.phones.join(QStringLiteral(", ")))
        << "\n";
    if (s.lastReceivedDate)
        out << "Dernier texte reçu : "
            << QLocale(QLocale::French).toString(s.lastReceivedDate->toLocalTime(), QLocale::ShortFormat) << ", de « "
            << s.lastReceivedFrom << " » (" << s.lastReceivedDelivery << ")\n";
}

// The receiver lives in the running application: these verbs ask it over the session bus.
int controlVerb(CliContext& ctx, const QString& verb)
{
    DBusControlClient app;
    if (verb == QLatin1String("status")) {
        const auto status = app.helperStatus();
        if (!status) {
            ctx.err << status.error() << "\n";
            return 1;
        }
        printStatus(ctx.out, *status);
        return 0;
    }
    if (verb == QLatin1String("start-pairing")) {
        const auto code = app.startHelperPairing();
        if (!code) {
            ctx.err << code.error() << "\n";
            return 1;
        }
        ctx.out << "Code d'association : " << code->code << " (encore " << code->secondsLeft << " s)\n";
        ctx.err << "Saisissez ce code sur le téléphone.\n";
        return 0;
    }
    const bool enable = verb == QLatin1String("enable");
    const auto done = app.setHelperEnabled(enable);
    if (!done) {
        ctx.err << done.error() << "\n";
        return 1;
    }
    ctx.err << (enable ? "Réception des textes du téléphone activée.\n" : "Réception des textes du téléphone désactivée.\n");
    return 0;
}

QCoro::Task<int> helperCommand(CliContext& ctx, QStringList args)
{
    const auto parsed = CliArgs::parse(args, {}, {});
    if (!parsed)
        co_return usageError(ctx, parsed.error());
    const QStringList& p = parsed->positional();
    const QString verb = p.value(0);
    if (verb == QLatin1String("status") || verb == QLatin1String("enable") || verb == QLatin1String("disable") ||
        verb == QLatin1String("start-pairing")) {
        if (p.size() != 1)
            co_return usageError(ctx);
        co_return controlVerb(ctx, verb);
    }
    if ((verb != QLatin1String("pair") && verb != QLatin1String("send")) || p.size() < 2 || p.size() > 3)
        co_return usageError(ctx);
    // Without HÔTE:PORT the computer is looked for on the local network.
    std::optional<HelperTarget> target;
    if (p.size() == 3) {
        target = HelperTarget::parse(p[1]);
        if (!target)
            co_return usageError(ctx, QStringLiteral("Adresse invalide : %1 (attendu HÔTE:PORT)").arg(p[1]));
    } else {
        AvahiServiceBrowser browser;
        HelperDiscovery discovery(browser, ctx.services.keychain());
        auto finding = verb == QLatin1String("pair") ? discovery.forPairing() : discovery.forSending();
        auto found = co_await finding;
        if (!found) {
            ctx.err << found.error() << "\n";
            co_return 1;
        }
        target = *found;
    }
    const QString argument = p.last();

    const QString name = HostDisplayName::read();
    HelperSender sender(ctx.services.keychain(), ctx.services.settings().deviceID(),
                        name.isEmpty() ? QStringLiteral("Linux") : name);
    if (verb == QLatin1String("pair")) {
        auto r = co_await sender.pair(*target, argument);
        if (!r) {
            ctx.err << r.error() << "\n";
            co_return 1;
        }
        ctx.err << "Associé à « " << *r << " ».\n";
        co_return 0;
    }
    if (argument.isEmpty())
        co_return usageError(ctx, QStringLiteral("Texte vide"));
    auto r = co_await sender.send(*target, argument);
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
    using S = Services::StoreUse;
    return {{QStringLiteral("helper"),
             QStringLiteral("Textes du téléphone : la réception de l'application lancée, et ce poste dans le rôle du "
                            "téléphone."),
             &helperCommand,
             {},
             {{QStringLiteral("pair"), QStringLiteral("[HÔTE:PORT] CODE"),
               QStringLiteral("S'associe à l'ordinateur qui affiche le CODE à six chiffres.")},
              {QStringLiteral("send"), QStringLiteral("[HÔTE:PORT] TEXTE"),
               QStringLiteral("Envoie le TEXTE à l'ordinateur associé (collé ou copié là-bas).")},
              {QStringLiteral("status"), {}, QStringLiteral("État de la réception dans l'application lancée."), S::none},
              {QStringLiteral("enable"), {}, QStringLiteral("Active la réception des textes du téléphone."), S::none},
              {QStringLiteral("disable"), {}, QStringLiteral("Désactive la réception des textes du téléphone."), S::none},
              {QStringLiteral("start-pairing"), {},
               QStringLiteral("Ouvre l'association (120 s) et affiche le code à saisir sur le téléphone."), S::none}},
             QStringLiteral("Le secret de chaque association reste dans le trousseau (Secret Service). status, enable, "
                            "disable et start-pairing s'adressent à l'application de bureau lancée (ovra). Sans HÔTE:PORT, "
                            "l'ordinateur est cherché sur le réseau local (Avahi) : le seul annoncé pour pair, le seul "
                            "associé pour send.")}};
}
