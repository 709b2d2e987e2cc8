#include "CliArgs.h"
#include "CliCommand.h"
#include "RecordLookup.h"
#include "Services.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

namespace {

// "-" reads the text from standard input.
QString textArgument(const QString& arg)
{
    if (arg != QLatin1String("-"))
        return arg;
    QFile in;
    if (!in.open(stdin, QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(in.readAll());
}

Expected<Note, QString> findNote(RecordStore& store, const QString& titleOrID)
{
    const QUuid id = QUuid::fromString(titleOrID.trimmed());
    if (!id.isNull())
        if (auto n = store.find<Note>(id))
            return *n;
    const QList<Note> matches = store.fetch<Note>(
        [&](const Note& n) { return n.displayTitle().compare(titleOrID.trimmed(), Qt::CaseInsensitive) == 0; });
    if (matches.size() == 1)
        return matches.first();
    if (matches.isEmpty())
        return unexpected(QStringLiteral("Aucune note ne s'appelle « %1 ».").arg(titleOrID));
    return unexpected(QStringLiteral("Plusieurs notes s'appellent « %1 » : donne son identifiant.").arg(titleOrID));
}

Expected<bool, QString> onOff(const QString& value)
{
    if (value == QLatin1String("on"))
        return true;
    if (value == QLatin1String("off"))
        return false;
    return unexpected(QStringLiteral("--favorite attend on ou off."));
}

int listNotes(CliContext& ctx, const CliArgs& a)
{
    const QString search = a.option(QStringLiteral("search"));
    const bool favorites = a.flag(QStringLiteral("favorites"));
    const QList<Note> notes = ctx.services.store().fetch<Note>(
        [&](const Note& n) {
            if (favorites && !n.isFavorite)
                return false;
            return search.isEmpty() || n.title.contains(search, Qt::CaseInsensitive) ||
                   n.content.contains(search, Qt::CaseInsensitive);
        },
        {{QStringLiteral("updatedAt"), false}});
    if (a.flag(QStringLiteral("json"))) {
        QJsonArray array;
        for (const Note& n : notes)
            array.append(toJson(n));
        ctx.out << QJsonDocument(array).toJson(QJsonDocument::Indented);
        return 0;
    }
    for (const Note& n : notes) {
        QString title = n.displayTitle();
        if (title.size() > 60)
            title = title.left(59) + QStringLiteral("…");
        ctx.out << (n.isFavorite ? "* " : "  ") << uuidText(n.id) << "  "
                << n.updatedAt.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")) << "  " << title << "\n";
    }
    return 0;
}

int editNote(CliContext& ctx, const CliArgs& a)
{
    const bool content = a.has(QStringLiteral("content"));
    const bool append = a.has(QStringLiteral("append"));
    if (content && append)
        return usageError(ctx, QStringLiteral("--content et --append ne vont pas ensemble."));
    if (!content && !append && !a.has(QStringLiteral("title")) && !a.has(QStringLiteral("favorite")))
        return usageError(ctx, QStringLiteral("Rien à modifier : --title, --content, --append ou --favorite."));
    std::optional<bool> favorite;
    if (a.has(QStringLiteral("favorite"))) {
        const auto v = onOff(a.option(QStringLiteral("favorite")));
        if (!v)
            return usageError(ctx, v.error());
        favorite = *v;
    }
    RecordStore& store = ctx.services.store();
    auto found = findNote(store, a.at(1));
    if (!found) {
        ctx.err << found.error() << "\n";
        return 1;
    }
    Note note = *found;
    if (a.has(QStringLiteral("title")))
        note.title = a.option(QStringLiteral("title")).trimmed();
    if (content)
        note.content = textArgument(a.option(QStringLiteral("content")));
    if (append) {
        const QString more = textArgument(a.option(QStringLiteral("append")));
        note.content += (note.content.isEmpty() || note.content.endsWith(u'\n') ? QString() : QStringLiteral("\n")) + more;
    }
    if (favorite)
        note.isFavorite = *favorite;
    if (auto ok = store.update(note); !ok) {
        ctx.err << ok.error().message << "\n";
        return 1;
    }
    return 0;
}

QCoro::Task<int> notesCommand(CliContext& ctx, QStringList args)
{
    const auto parsed = CliArgs::parse(args, {QStringLiteral("json"), QStringLiteral("favorites")},
                                       {QStringLiteral("search"), QStringLiteral("title"), QStringLiteral("content"),
                                        QStringLiteral("append"), QStringLiteral("favorite")});
    if (!parsed)
        co_return usageError(ctx, parsed.error());
    const CliArgs& a = *parsed;
    const QString verb = a.at(0);
    const qsizetype n = a.positional().size();

    if (verb == QLatin1String("list") && n == 1)
        co_return listNotes(ctx, a);

    if (verb == QLatin1String("show") && n == 2) {
        const auto found = findNote(ctx.services.store(), a.at(1));
        if (!found) {
            ctx.err << found.error() << "\n";
            co_return 1;
        }
        if (a.flag(QStringLiteral("json")))
            ctx.out << QJsonDocument(toJson(*found)).toJson(QJsonDocument::Indented);
        else
            ctx.out << found->content << (found->content.endsWith(u'\n') ? "" : "\n");
        co_return 0;
    }

    if (verb == QLatin1String("add") && n == 2) {
        Note note;
        note.content = textArgument(a.at(1));
        note.title = a.option(QStringLiteral("title")).trimmed();
        if (note.content.trimmed().isEmpty() && note.title.isEmpty())
            co_return usageError(ctx, QStringLiteral("Une note vide n'est pas ajoutée."));
        if (a.has(QStringLiteral("favorite"))) {
            const auto v = onOff(a.option(QStringLiteral("favorite")));
            if (!v)
                co_return usageError(ctx, v.error());
            note.isFavorite = *v;
        }
        co_return createAndPrint(ctx, note);
    }

    if (verb == QLatin1String("edit") && n == 2)
        co_return editNote(ctx, a);

    if (verb == QLatin1String("remove") && n == 2) {
        const auto found = findNote(ctx.services.store(), a.at(1));
        if (!found) {
            ctx.err << found.error() << "\n";
            co_return 1;
        }
        if (auto ok = ctx.services.store().remove<Note>(found->id); !ok) {
            ctx.err << ok.error().message << "\n";
            co_return 1;
        }
        co_return 0;
    }
    co_return usageError(ctx, {});
}

} // namespace

QList<CliCommand> noteCommands()
{
    return {{QStringLiteral("notes"), QStringLiteral("Les notes, celles de la fenêtre et de son assistant."),
             &notesCommand,
             {},
             {{QStringLiteral("list"), QStringLiteral("[--search TEXTE] [--favorites] [--json]"),
               QStringLiteral("Liste les notes, la plus récente d'abord ; les favorites sont marquées *."),
               Services::StoreUse::readOnly},
              {QStringLiteral("show"), QStringLiteral("TITRE|ID [--json]"), QStringLiteral("Affiche le texte d'une note."),
               Services::StoreUse::readOnly},
              {QStringLiteral("add"), QStringLiteral("TEXTE|- [--title TITRE] [--favorite on|off]"),
               QStringLiteral("Ajoute une note (- : le texte vient de l'entrée standard) et affiche son identifiant.")},
              {QStringLiteral("edit"),
               QStringLiteral("TITRE|ID [--title TITRE] [--content TEXTE|-] [--append TEXTE|-] [--favorite on|off]"),
               QStringLiteral("Modifie le titre, le texte ou la marque de favori d'une note.")},
              {QStringLiteral("remove"), QStringLiteral("TITRE|ID"), QStringLiteral("Supprime une note.")}}}};
}
