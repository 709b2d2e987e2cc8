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
