#include "CliArgs.h"
#include "CliCommand.h"
#include "Services.h"
#include "dictation/ShortcutBindings.h"

namespace {

// The fixed names, then one per mode in the modes' order, with the mode's name for reading.
QList<QPair<QString, QString>> allNames(RecordStore& store)
{
    QList<QPair<QString, QString>> names;
    for (const QString& n : ShortcutName::fixedNames())
        names.append({n, QString()});
    for (const TranscriptionMode& m : store.fetch<TranscriptionMode>({}, {{QStringLiteral("sortOrder"), true}}))
        names.append({ShortcutName::forMode(m.id), m.name});
    return names;
}

QCoro::Task<int> shortcutsCommand(CliContext& ctx, QStringList args)
{
    const auto parsed = CliArgs::parse(args, {}, {});
    if (!parsed)
        co_return usageError(ctx, parsed.error());
    const QStringList& p = parsed->positional();
    ShortcutBindings bindings(ctx.services.settings());
    const auto names = allNames(ctx.services.store());

    if (p.value(0) == QLatin1String("list") && p.size() == 1) {
        for (const auto& [name, modeName] : names) {
            const auto combo = bindings.combination(name);
            ctx.out << name << "\t" << (combo ? combo->toString() : QStringLiteral("none"));
            if (!modeName.isEmpty())
                ctx.out << "\t" << modeName;
            ctx.out << "\n";
        }
        co_return 0;
    }
    if (p.value(0) == QLatin1String("set") && p.size() == 3) {
        // Mode shortcuts may be written with a lower-case or braced UUID.
        QString name = p[1];
        if (const auto mode = ShortcutName::modeOf(name))
            name = ShortcutName::forMode(*mode);
        const bool known = std::any_of(names.begin(), names.end(), [&](const auto& n) { return n.first == name; });
        if (!known) {
            ctx.err << "Raccourci inconnu : " << p[1] << " (voir « ovra shortcuts list »)\n";
            co_return 1;
        }
        std::optional<KeyCombo> combo;
        if (p[2] != QLatin1String("none")) {
            const auto parsedCombo = KeyCombo::parse(p[2]);
            if (!parsedCombo) {
                ctx.err << parsedCombo.error() << "\n";
                co_return 1;
            }
            combo = *parsedCombo;
        }
        QStringList modeNames;
        for (const auto& n : names)
            modeNames << n.first;
        const auto saved = bindings.set(name, combo, modeNames);
        if (!saved) {
            ctx.err << saved.error() << "\n";
            co_return 1;
        }
        ctx.services.settings().sync();
        ctx.err << "Raccourci enregistré ; l'application de bureau le prend au prochain démarrage.\n";
        co_return 0;
    }
    co_return usageError(ctx, {});
}

} // namespace

QList<CliCommand> shortcutCommands()
{
    return {{QStringLiteral("shortcuts"), QStringLiteral("Les raccourcis clavier globaux de l'application de bureau."),
             &shortcutsCommand,
             {},
             {{QStringLiteral("list"), {}, QStringLiteral("Affiche chaque raccourci et sa combinaison."),
               Services::StoreUse::readOnly},
              {QStringLiteral("set"), QStringLiteral("NOM COMBINAISON|none"),
               QStringLiteral("Change un raccourci (none le retire), par exemple :\n"
                              "      ovra shortcuts set toggleDictation Ctrl+Alt+D")}}}};
}
