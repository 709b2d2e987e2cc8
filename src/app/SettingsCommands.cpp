#include "CliArgs.h"
#include "CliCommand.h"
#include "NearestName.h"
#include "Services.h"
#include "SettingTypes.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>

namespace {

// VALUE is JSON when it parses as JSON (true, 30, "text", [..], {..}), otherwise plain text.
QVariant parseValue(const QString& text)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray("[") + text.toUtf8() + "]", &error);
    if (error.error == QJsonParseError::NoError && doc.array().size() == 1)
        return doc.array().first().toVariant();
    return text;
}

QString printable(const QVariant& v)
{
    if (v.typeId() == QMetaType::QString)
        return v.toString();
    if (v.typeId() == QMetaType::QByteArray)
        return QString::fromUtf8(v.toByteArray());
    const QJsonDocument doc(QJsonArray{QJsonValue::fromVariant(v)});
    QString s = QString::fromUtf8(doc.toJson(QJsonDocument::Compact));
    return s.mid(1, s.size() - 2);
}

QCoro::Task<int> settingsCommand(CliContext& ctx, QStringList args)
{
    const auto parsed = CliArgs::parse(args, {QStringLiteral("force")}, {});
    if (!parsed)
        co_return usageError(ctx, parsed.error());
    const QStringList& p = parsed->positional();
    Settings& settings = ctx.services.settings();
    if (p.value(0) == QLatin1String("get") && p.size() == 2) {
        if (!settings.contains(p[1])) {
            ctx.err << "Réglage absent : " << p[1] << "\n";
            co_return 1;
        }
        ctx.out << printable(settings.value(p[1])) << "\n";
        co_return 0;
    }
    if (p.value(0) == QLatin1String("set") && p.size() == 3) {
        const QString& key = p[1];
        // A key the program does not know would be stored and never read: most likely a typo.
        if (!SettingTypes::kindOf(key) && !settings.contains(key) && !parsed->flag(QStringLiteral("force"))) {
            QString message = QStringLiteral("Réglage inconnu : %1.").arg(key);
            if (const auto near = nearestName(key, SettingTypes::knownKeys()))
                message += QStringLiteral(" Vouliez-vous dire « %1 » ?").arg(*near);
            co_return usageError(ctx, message + QStringLiteral(" (--force l'enregistre quand même)"));
        }
        const auto value = SettingTypes::check(key, parseValue(p[2]), p[2]);
        if (!value)
            co_return usageError(ctx, value.error());
        settings.setValue(key, *value);
        settings.sync();
        co_return 0;
    }
    co_return usageError(ctx, {});
}

} // namespace

QList<CliCommand> settingsCommands()
{
    return {{QStringLiteral("settings"), QStringLiteral("Lit ou change un réglage."), &settingsCommand,
             {},
             {{QStringLiteral("get"), QStringLiteral("CLÉ"), QStringLiteral("Affiche la valeur d'un réglage."),
               Services::StoreUse::none},
              {QStringLiteral("set"), QStringLiteral("CLÉ VALEUR [--force]"),
               QStringLiteral("Change un réglage. VALEUR est lue comme du JSON quand elle en est (true, 30,\n"
                              "      \"texte\", [..], {..}), sinon comme du texte. Une clé inconnue ou une valeur\n"
                              "      du mauvais type est refusée ; --force enregistre une clé inconnue.")}}}};
}
