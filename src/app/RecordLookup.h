#pragma once
// Finds the one record a user names on the command line, by id or by name.
#include "store/RecordStore.h"

#include <functional>

template <Record R>
Expected<R, QString> lookupRecord(RecordStore& store, const QString& nameOrID,
                                  const std::function<QString(const R&)>& nameOf, const QString& kind)
{
    const QUuid id = QUuid::fromString(nameOrID.trimmed());
    if (!id.isNull()) {
        if (auto r = store.find<R>(id))
            return *r;
    }
    const QList<R> matches = store.fetch<R>([&](const R& r) {
        return nameOf(r).compare(nameOrID, Qt::CaseInsensitive) == 0;
    });
    if (matches.size() == 1)
        return matches.first();
    if (matches.isEmpty())
        return unexpected(QStringLiteral("Aucun %1 ne s'appelle « %2 ».").arg(kind, nameOrID));
    return unexpected(
        QStringLiteral("Plusieurs %1s s'appellent « %2 » : donne son identifiant.").arg(kind, nameOrID));
}

// Next position at the end of a user's list.
template <Record R>
int nextSortOrder(RecordStore& store)
{
    int last = -1;
    for (const R& r : store.fetch<R>())
        last = std::max(last, r.sortOrder);
    return last + 1;
}

// Command-line steps shared by the record commands; they return the exit code.
#include "CliCommand.h"
#include "Services.h"

// Stores a record the user creates and prints its id.
template <Record R>
int createAndPrint(CliContext& ctx, const R& r)
{
    if (auto ok = ctx.services.store().update(r); !ok) {
        ctx.err << ok.error().message << "\n";
        return 1;
    }
    ctx.out << uuidText(r.id) << "\n";
    return 0;
}

// Deletes the record the user names.
template <Record R>
int removeNamed(CliContext& ctx, const QString& nameOrID, const std::function<QString(const R&)>& nameOf,
                const QString& kind)
{
    const auto found = lookupRecord<R>(ctx.services.store(), nameOrID, nameOf, kind);
    if (!found) {
        ctx.err << found.error() << "\n";
        return 1;
    }
    if (auto ok = ctx.services.store().remove<R>(found->id); !ok) {
        ctx.err << ok.error().message << "\n";
        return 1;
    }
    return 0;
}
