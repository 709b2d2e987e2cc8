#include "CliCompletion.h"

#include "CliVocabulary.h"

#include <QRegularExpression>

namespace {

QStringList optionsOf(const CliCommand& c, const QString& verb)
{
    QString text = c.synopsis + QLatin1Char(' ') + c.details;
    for (const CliVerb& v : c.verbs)
        if (verb.isEmpty() || v.name == verb)
            text += QLatin1Char(' ') + v.synopsis;
    QStringList options;
    static const QRegularExpression option(QStringLiteral("--[a-z][a-z-]*"));
    for (auto it = option.globalMatch(text); it.hasNext();) {
        const QString o = it.next().captured();
        if (!options.contains(o))
            options << o;
    }
    options << QStringLiteral("--help");
    return options;
}

// Values of the options that take one of a few words.
std::optional<QStringList> valuesOf(const QString& option)
{
    if (option == QLatin1String("--provider"))
        return CliVocabulary::transcriptionProviders();
    if (option == QLatin1String("--ai-provider"))
        return CliVocabulary::aiProviders();
    if (option == QLatin1String("--ai") || option == QLatin1String("--trim") || option == QLatin1String("--live"))
        return QStringList{QStringLiteral("on"), QStringLiteral("off")};
    return std::nullopt;
}

} // namespace

namespace CliCompletion {

QStringList candidates(const QList<CliCommand>& commands, const QStringList& typed)
{
    QStringList names;
    for (const CliCommand& c : commands)
        names << c.name;
    if (typed.isEmpty())
        return names << QStringLiteral("help") << QStringLiteral("--help") << QStringLiteral("--version");
    if (typed.first() == QLatin1String("help"))
        return typed.size() == 1 ? names : QStringList{};
    const auto c = std::find_if(commands.begin(), commands.end(), [&](const CliCommand& x) { return x.name == typed.first(); });
    if (c == commands.end())
        return {};
    if (const auto values = valuesOf(typed.last()); values && typed.size() > 1)
        return *values;
    if (!c->verbs.isEmpty() && typed.size() == 1) {
        QStringList verbs;
        for (const CliVerb& v : c->verbs)
            if (!v.name.isEmpty())
                verbs << v.name;
        return verbs;
    }
    const QString verb = c->verbs.isEmpty() ? QString() : typed.value(1);
    // `keys set|verify` and the like take a provider right after the verb.
    if (typed.size() == 2 && !verb.isEmpty()) {
        for (const CliVerb& v : c->verbs)
            if (v.name == verb && (v.synopsis.startsWith(QLatin1String("FOURNISSEUR")) ||
                                   v.synopsis.startsWith(QLatin1String("[FOURNISSEUR]"))))
                return CliVocabulary::keyProviders();
    }
    return optionsOf(*c, verb);
}

} // namespace CliCompletion
