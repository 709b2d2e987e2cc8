#include "CliArgs.h"
#include "CliCommand.h"
#include "HeadlessDictation.h"
#include "Services.h"

#include "dictation/FailedRecordings.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

QString idText(const QUuid& id) { return id.toString(QUuid::WithoutBraces).toUpper(); }

int list(CliContext& ctx, bool json)
{
    const QList<FailedRecording> all = ctx.services.failedRecordings().list();
    if (json) {
        QJsonArray array;
        for (const FailedRecording& r : all) {
            QJsonObject o;
            o.insert(QLatin1String("id"), idText(r.id));
            o.insert(QLatin1String("date"), r.date.toUTC().toString(Qt::ISODateWithMs));
            o.insert(QLatin1String("mode"), r.modeName);
            if (r.modeID)
                o.insert(QLatin1String("modeID"), idText(*r.modeID));
            o.insert(QLatin1String("error"), r.error);
            o.insert(QLatin1String("duration"), r.duration);
            o.insert(QLatin1String("audioFile"), r.audioFile);
            array.append(o);
        }
        ctx.out << QJsonDocument(array).toJson(QJsonDocument::Indented);
        return 0;
    }
    if (all.isEmpty())
        ctx.err << "Aucune dictée échouée.\n";
    for (const FailedRecording& r : all)
        ctx.out << idText(r.id) << "\t" << r.date.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")) << "\t"
                << r.modeName << "\t" << r.error << "\t" << r.audioFile << "\n";
    return 0;
}

// A full id or the start of one (as long as it names a single recording).
Expected<QUuid, QString> resolve(CliContext& ctx, const QString& given)
{
    const QString wanted = given.trimmed().toUpper().remove(QLatin1Char('{')).remove(QLatin1Char('}'));
    std::optional<QUuid> found;
    if (!wanted.isEmpty()) {
        for (const FailedRecording& r : ctx.services.failedRecordings().list()) {
            if (!idText(r.id).startsWith(wanted))
                continue;
            if (found)
                return unexpected(QStringLiteral("Identifiant ambigu : ") + given);
            found = r.id;
        }
    }
    if (!found)
        return unexpected(QStringLiteral("Dictée échouée introuvable : ") + given);
    return *found;
}

QCoro::Task<int> retryCommand(CliContext& ctx, QStringList args)
{
    const auto parsed = CliArgs::parse(args, {QStringLiteral("list"), QStringLiteral("json")}, {});
    if (!parsed)
        co_return usageError(ctx, parsed.error());
    const bool listing = parsed->flag(QStringLiteral("list"));
    if (parsed->positional().size() > (listing ? 0 : 1) || (parsed->flag(QStringLiteral("json")) && !listing))
        co_return usageError(ctx);
    if (listing)
        co_return list(ctx, parsed->flag(QStringLiteral("json")));

    std::optional<QUuid> id;
    if (!parsed->positional().isEmpty()) {
        const auto resolved = resolve(ctx, parsed->at(0));
        if (!resolved) {
            ctx.err << resolved.error() << "\n";
            co_return 1;
        }
        id = *resolved;
    }
    HeadlessDictation dictation(ctx.services);
    auto retrying = dictation.controller().retryFailed(id);
    co_await retrying;
    co_return dictation.reportOutcome(ctx.out, ctx.err);
}

} // namespace

QList<CliCommand> retryCommands()
{
    return {{QStringLiteral("retry"),
             QStringLiteral("Transcrit à nouveau l'enregistrement d'une dictée échouée (la dernière sans ID)."),
             &retryCommand,
             QStringLiteral("[ID] | --list [--json]"),
             {},
             QStringLiteral("Les enregistrements des 20 dernières dictées échouées sont gardés dans le dossier de "
                            "données (FailedRecordings).\nOptions :\n"
                            "  --list   liste les dictées échouées : ID, date, mode, erreur, fichier\n"
                            "  --json   avec --list, la liste en JSON\n"
                            "ID : l'identifiant ou son début.")}};
}
