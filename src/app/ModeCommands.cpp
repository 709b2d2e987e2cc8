#include "CliArgs.h"
#include "CliCommand.h"
#include "Services.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {

QCoro::Task<int> listModes(CliContext& ctx, const CliArgs& args)
{
    const QList<TranscriptionMode> modes =
        ctx.services.store().fetch<TranscriptionMode>({}, {{QStringLiteral("sortOrder"), true}});
    if (args.flag(QStringLiteral("json"))) {
        QJsonArray array;
        for (const TranscriptionMode& m : modes)
            array.append(toJson(m));
        ctx.out << QJsonDocument(array).toJson(QJsonDocument::Indented);
        co_return 0;
    }
    const QString active = ctx.services.settings().stringValue(SharedDefaultsKey::activeModeID).value_or(QString());
    for (const TranscriptionMode& m : modes) {
        ctx.out << (uuidText(m.id) == active.toUpper() ? "* " : "  ") << uuidText(m.id) << "  " << m.name << "  "
                << m.transcriptionProviderRaw << "/" << m.transcriptionModel
                << (m.enableAIEnhancement ? QStringLiteral("  IA %1/%2").arg(m.aiProviderRaw, m.aiModel) : QString())
                << "\n";
    }
    co_return 0;
}

QCoro::Task<int> modesCommand(CliContext& ctx, QStringList args)
{
    const QString usage = QStringLiteral("ovra modes list [--json]");
    const auto parsed = CliArgs::parse(args, {QStringLiteral("json")}, {});
    if (!parsed)
        co_return usageError(ctx, parsed.error(), usage);
    if (parsed->at(0) == QLatin1String("list") && parsed->positional().size() == 1)
        co_return co_await listModes(ctx, *parsed);
    co_return usageError(ctx, {}, usage);
}

} // namespace

QList<CliCommand> modeCommands()
{
    return {{QStringLiteral("modes"), QStringLiteral("modes list [--json]"), &modesCommand}};
}
