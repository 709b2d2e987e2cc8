#include "CliHelp.h"

namespace {

const QString kUsage = QStringLiteral("Usage : ");

QStringList synopses(const CliCommand& c)
{
    QStringList lines;
    const QString head = QStringLiteral("ovra ") + c.name;
    // A verb without a name is the command's bare form.
    for (const CliVerb& v : c.verbs) {
        QStringList parts{head};
        if (!v.name.isEmpty())
            parts << v.name;
        if (!v.synopsis.isEmpty())
            parts << v.synopsis;
        lines << parts.join(QLatin1Char(' '));
    }
    if (c.verbs.isEmpty())
        lines << head + (c.synopsis.isEmpty() ? QString() : QLatin1Char(' ') + c.synopsis);
    return lines;
}

QString indentedLines(const QStringList& lines)
{
    const QString pad(kUsage.size(), QLatin1Char(' '));
    return kUsage + lines.join(QLatin1Char('\n') + pad) + QLatin1Char('\n');
}

QString withDetails(QString text, const CliCommand& c)
{
    if (!c.details.isEmpty())
        text += QLatin1Char('\n') + c.details + (c.details.endsWith(QLatin1Char('\n')) ? "" : "\n");
    return text;
}

} // namespace

namespace CliHelp {

QString overview(const QList<CliCommand>& commands)
{
    QString text = QStringLiteral("Usage : ovra [COMMANDE [ARGUMENTS]]\n"
                                  "Sans commande, ovra démarre l'application de bureau.\n\n"
                                  "Commandes :\n");
    qsizetype width = 4;
    for (const CliCommand& c : commands)
        width = std::max(width, c.name.size());
    for (const CliCommand& c : commands)
        text += QStringLiteral("  ") + c.name.leftJustified(width + 2) + c.summary + QLatin1Char('\n');
    text += QStringLiteral("  ") + QStringLiteral("help").leftJustified(width + 2) +
            QStringLiteral("Affiche cette aide, ou celle d'une commande (ovra help COMMANDE).\n");
    text += QStringLiteral("\n« ovra COMMANDE --help » décrit une commande et ses options.\n"
                           "Résultats sur la sortie standard, messages sur la sortie d'erreur.\n"
                           "Code de sortie : 0 réussite, 1 échec, 2 commande mal formée.\n");
    return text;
}

QString command(const CliCommand& c, const QString& verb)
{
    for (const CliVerb& v : c.verbs) {
        if (v.name != verb || verb.isEmpty())
            continue;
        CliCommand one = c;
        one.verbs = {v};
        QString summary = v.summary;
        summary.replace(QStringLiteral("\n      "), QStringLiteral("\n"));
        return withDetails(indentedLines(synopses(one)) + QLatin1Char('\n') + summary + QLatin1Char('\n'), c);
    }
    if (c.verbs.isEmpty())
        return withDetails(indentedLines(synopses(c)) + QLatin1Char('\n') + c.summary + QLatin1Char('\n'), c);
    QString text = kUsage + QStringLiteral("ovra %1 VERBE [ARGUMENTS]\n\n").arg(c.name) + c.summary + QLatin1Char('\n');
    {
        text += QStringLiteral("\nVerbes :\n");
        for (const CliVerb& v : c.verbs)
            text += QStringLiteral("  ovra %1%2%3\n      %4\n")
                        .arg(c.name, v.name.isEmpty() ? QString() : QLatin1Char(' ') + v.name,
                             v.synopsis.isEmpty() ? QString() : QLatin1Char(' ') + v.synopsis, v.summary);
    }
    return withDetails(text, c);
}

QString usageLines(const CliCommand& c)
{
    return indentedLines(synopses(c)) + QStringLiteral("Aide : ovra %1 --help\n").arg(c.name);
}

QString all(const QList<CliCommand>& commands)
{
    QString text = overview(commands);
    for (const CliCommand& c : commands)
        text += QLatin1Char('\n') + command(c);
    return text;
}

} // namespace CliHelp
