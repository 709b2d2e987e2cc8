#include "CliArgs.h"
#include "CliCommand.h"
#include "RecordLookup.h"
#include "Services.h"
#include "ai/PinnedPresets.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {

QString nameOf(const PromptPreset& p) { return p.name; }

void publishPinned(CliContext& ctx) { PinnedPresets::publish(ctx.services.store(), ctx.services.settings()); }

QCoro::Task<int> promptsCommand(CliContext& ctx, QStringList args)
{
    const auto parsed = CliArgs::parse(args, {QStringLiteral("json"), QStringLiteral("pinned")}, {});
    if (!parsed)
        co_return usageError(ctx, parsed.error());
    const CliArgs& a = *parsed;
    const QString verb = a.at(0);
    RecordStore& store = ctx.services.store();

    if (verb == QLatin1String("list") && a.positional().size() == 1) {
        const QList<PromptPreset> presets = store.fetch<PromptPreset>(
            [](const PromptPreset& p) { return !p.isTrashed; }, {{QStringLiteral("sortOrder"), true}});
        if (a.flag(QStringLiteral("json"))) {
            QJsonArray array;
            for (const PromptPreset& p : presets)
                array.append(toJson(p));
            ctx.out << QJsonDocument(array).toJson(QJsonDocument::Indented);
            co_return 0;
        }
        for (const PromptPreset& p : presets) {
            QString firstLine = p.prompt.section(QLatin1Char('\n'), 0, 0);
            if (firstLine.size() > 60)
                firstLine = firstLine.left(59) + QStringLiteral("…");
            ctx.out << (p.isPinned ? "* " : "  ") << uuidText(p.id) << "  " << p.name << "  " << firstLine << "\n";
        }
        co_return 0;
    }

    if (verb == QLatin1String("add") && a.positional().size() == 3) {
        PromptPreset p;
        p.name = a.at(1).trimmed();
        p.prompt = a.at(2);
        if (p.name.isEmpty() || p.prompt.trimmed().isEmpty())
            co_return usageError(ctx, QStringLiteral("Le nom et le texte du prompt ne peuvent pas être vides."));
        p.isPinned = a.flag(QStringLiteral("pinned"));
        p.sortOrder = nextSortOrder<PromptPreset>(store);
        const int rc = createAndPrint(ctx, p);
        publishPinned(ctx);
        co_return rc;
    }

    if (verb == QLatin1String("remove") && a.positional().size() == 2) {
        const int rc = removeNamed<PromptPreset>(ctx, a.at(1), &nameOf, QStringLiteral("prompt"));
        publishPinned(ctx);
        co_return rc;
    }
    co_return usageError(ctx, {});
}

} // namespace

QList<CliCommand> promptCommands()
{
    return {{QStringLiteral("prompts"), QStringLiteral("Les prompts enregistrés, que les modes reprennent pour l'IA."),
             &promptsCommand,
             {},
             {{QStringLiteral("list"), QStringLiteral("[--json]"),
               QStringLiteral("Liste les prompts ; les épinglés sont marqués *."), Services::StoreUse::readOnly},
              {QStringLiteral("add"), QStringLiteral("NOM TEXTE [--pinned]"),
               QStringLiteral("Ajoute un prompt et affiche son identifiant.")},
              {QStringLiteral("remove"), QStringLiteral("NOM|ID"), QStringLiteral("Supprime un prompt.")}}}};
}
