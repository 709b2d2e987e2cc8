#include "CliArgs.h"

Expected<CliArgs, QString> CliArgs::parse(const QStringList& args, const QSet<QString>& flags,
                                          const QSet<QString>& options)
{
    CliArgs out;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--")) {
            out.m_positional += args.mid(i + 1);
            break;
        }
        if (!a.startsWith(QLatin1String("--")) || a.size() == 2) {
            out.m_positional << a;
            continue;
        }
        QString name = a.mid(2);
        QString inlineValue;
        const qsizetype eq = name.indexOf(QLatin1Char('='));
        const bool hasInline = eq >= 0;
        if (hasInline) {
            inlineValue = name.mid(eq + 1);
            name = name.left(eq);
        }
        if (flags.contains(name) && !hasInline) {
            out.m_flags.insert(name);
        } else if (options.contains(name)) {
            if (hasInline) {
                out.m_options.insert(name, inlineValue);
            } else if (i + 1 < args.size()) {
                out.m_options.insert(name, args[++i]);
            } else {
                return unexpected(QStringLiteral("L'option --%1 attend une valeur.").arg(name));
            }
        } else {
            return unexpected(QStringLiteral("Option inconnue : --%1").arg(name));
        }
    }
    return out;
}
