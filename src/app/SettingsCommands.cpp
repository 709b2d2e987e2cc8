#include "CliArgs.h"
#include "CliCommand.h"
#include "Services.h"

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
    const auto parsed = CliArgs::parse(args, {}, {});
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
        settings.setValue(p[1], parseValue(p[2]));
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
             {{QStringLiteral("get"), QStringLiteral("CLÉ"), QStringLiteral("Affiche la valeur d'un réglage.")},
              {QStringLiteral("set"), QStringLiteral("CLÉ VALEUR"),
               QStringLiteral("Change un réglage. VALEUR est lue comme du JSON quand elle en est (true, 30,\n"
                              "      \"texte\", [..], {..}), sinon comme du texte.")}}}};
}
