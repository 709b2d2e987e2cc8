#include "CliArgs.h"
#include "CliCommand.h"
#include "RecordLookup.h"
#include "Services.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {

QString termOf(const DictionaryEntry& e) { return e.term; }

Expected<int, QString> parseScopes(const QString& text)
{
    const QStringList names = text.split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const QString& n : names)
        if (DictionaryScopes::fromNames({n.trimmed()}) == 0)
            return unexpected(
                QStringLiteral("Portée inconnue : %1 (transcription, replacement, transformation)").arg(n.trimmed()));
    QStringList trimmed;
    for (const QString& n : names)
        trimmed << n.trimmed();
    const int bits = DictionaryScopes::fromNames(trimmed);
    if (bits == 0)
        return unexpected(QStringLiteral("--scopes attend au moins une portée."));
    return bits;
}

QCoro::Task<int> dictionaryCommand(CliContext& ctx, QStringList args)
{
    const auto parsed = CliArgs::parse(args, {QStringLiteral("json"), QStringLiteral("pinned")},
                                       {QStringLiteral("pronunciations"), QStringLiteral("replacement"),
                                        QStringLiteral("scopes")});
    if (!parsed)
        co_return usageError(ctx, parsed.error());
    const CliArgs& a = *parsed;
    const QString verb = a.at(0);
    RecordStore& store = ctx.services.store();

    if (verb == QLatin1String("list") && a.positional().size() == 1) {
        QList<DictionaryEntry> entries = store.fetch<DictionaryEntry>();
        std::sort(entries.begin(), entries.end(), [](const DictionaryEntry& x, const DictionaryEntry& y) {
            if (x.isPinned != y.isPinned)
                return x.isPinned;
            return x.term.compare(y.term, Qt::CaseInsensitive) < 0;
        });
        if (a.flag(QStringLiteral("json"))) {
            QJsonArray array;
            for (const DictionaryEntry& e : entries)
                array.append(toJson(e));
            ctx.out << QJsonDocument(array).toJson(QJsonDocument::Indented);
            co_return 0;
        }
        for (const DictionaryEntry& e : entries) {
            ctx.out << (e.isPinned ? "* " : "  ") << e.term;
            if (!e.pronunciationsRaw.isEmpty())
                ctx.out << "  (" << e.pronunciations().join(QStringLiteral(", ")) << ")";
            if (e.replacement)
                ctx.out << "  → " << *e.replacement;
            ctx.out << "  [" << DictionaryScopes::names(e.scopesRaw).join(QLatin1Char(',')) << "]\n";
        }
        co_return 0;
    }

    if (verb == QLatin1String("add") && a.positional().size() == 2) {
        DictionaryEntry e;
        e.term = a.at(1).trimmed();
        if (e.term.isEmpty())
            co_return usageError(ctx, QStringLiteral("Le terme ne peut pas être vide."));
        if (!store.fetch<DictionaryEntry>([&](const DictionaryEntry& x) {
                      return x.term.compare(e.term, Qt::CaseInsensitive) == 0;
                  }).isEmpty()) {
            ctx.err << "Le terme « " << e.term << " » est déjà dans le dictionnaire.\n";
            co_return 1;
        }
        e.setPronunciations(a.option(QStringLiteral("pronunciations")).split(QLatin1Char(',')));
        if (a.has(QStringLiteral("replacement")))
            e.replacement = a.option(QStringLiteral("replacement"));
        if (a.has(QStringLiteral("scopes"))) {
            const auto bits = parseScopes(a.option(QStringLiteral("scopes")));
            if (!bits)
                co_return usageError(ctx, bits.error());
            e.scopesRaw = *bits;
        }
        e.isPinned = a.flag(QStringLiteral("pinned"));
        co_return createAndPrint(ctx, e);
    }

    if (verb == QLatin1String("remove") && a.positional().size() == 2)
        co_return removeNamed<DictionaryEntry>(ctx, a.at(1), &termOf, QStringLiteral("terme"));
    co_return usageError(ctx, {});
}

} // namespace

QList<CliCommand> dictionaryCommands()
{
    return {{QStringLiteral("dictionary"),
             QStringLiteral("Le vocabulaire : termes à reconnaître, prononciations et remplacements."),
             &dictionaryCommand,
             {},
             {{QStringLiteral("list"), QStringLiteral("[--json]"),
               QStringLiteral("Liste les termes, épinglés d'abord (marqués *)."), Services::StoreUse::readOnly},
              {QStringLiteral("add"),
               QStringLiteral("TERME [--pronunciations A,B] [--replacement TEXTE] [--scopes PORTÉES] [--pinned]"),
               QStringLiteral("Ajoute un terme et affiche son identifiant.")},
              {QStringLiteral("remove"), QStringLiteral("TERME|ID"), QStringLiteral("Supprime un terme.")}},
             QStringLiteral("Options :\n"
                            "  --pronunciations A,B   façons dont le terme est prononcé, séparées par des virgules\n"
                            "  --replacement TEXTE    texte qui remplace le terme reconnu\n"
                            "  --scopes PORTÉES       transcription, replacement, transformation (par défaut : toutes)\n"
                            "  --pinned               épingle le terme en tête de liste")}};
}
