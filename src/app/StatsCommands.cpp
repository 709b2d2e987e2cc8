#include "CliArgs.h"
#include "CliCommand.h"
#include "Services.h"
#include "network/Pricing.h"
#include "stats/StatsSnapshot.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QLocale>

namespace {

QString number(double v, int decimals) { return QLocale(QLocale::French).toString(v, 'f', decimals); }

QCoro::Task<int> statsCommand(CliContext& ctx, QStringList args)
{
    const auto parsed = CliArgs::parse(args, {QStringLiteral("json")}, {});
    if (!parsed || !parsed->positional().isEmpty())
        co_return usageError(ctx, parsed ? QString() : parsed.error());
    Services& s = ctx.services;
    (void)refreshSnapshot(s.store(), s.settings());
    const BackupStats st = computeStats(s.store());
    if (parsed->flag(QStringLiteral("json"))) {
        // Keys in the document's order: QJsonObject would sort them.
        QStringList pieces;
        const QJsonObject o = st.toJson();
        for (const QString& k : BackupStats::keyOrder())
            pieces << QStringLiteral("  \"%1\": %2")
                          .arg(k, QString::fromUtf8(QJsonDocument(QJsonArray{o.value(k)})
                                                        .toJson(QJsonDocument::Compact)
                                                        .mid(1)
                                                        .chopped(1)));
        ctx.out << "{\n" << pieces.join(QStringLiteral(",\n")) << "\n}\n";
        co_return 0;
    }
    const int minutes = int(st.timeSavedSeconds / 60);
    ctx.out << "Dictées : " << st.totalCount << "\n"
            << "Mots dictés : " << st.totalWords << "\n"
            << "Frappes économisées : " << st.totalKeystrokesSaved << "\n"
            << "Temps gagné : " << QStringLiteral("%1 h %2 min").arg(minutes / 60).arg(minutes % 60, 2, 10, QLatin1Char('0'))
            << "\n"
            << "Mots ce mois-ci : " << st.thisMonthWords << "\n"
            << "Vitesse moyenne : " << number(st.averageWordsPerMinute, 0) << " mots/min\n"
            << "Corrections de l'IA : " << st.totalAIFixes << "\n"
            << "Coût ce mois-ci : " << formatCost(st.thisMonthCostUSD) << "\n"
            << "Coût total : " << formatCost(st.allTimeCostUSD) << "\n";
    co_return 0;
}

} // namespace

QList<CliCommand> statsCommands()
{
    return {{QStringLiteral("stats"), QStringLiteral("Affiche les statistiques de dictée."), &statsCommand,
             QStringLiteral("[--json]"), {},
             QStringLiteral("Options :\n"
                            "  --json   les neuf chiffres en JSON, sous les noms du document de sauvegarde")}};
}
