#pragma once
// A record store in a fresh temporary folder.
#include "store/RecordStore.h"

#include <QTemporaryDir>
#include <QTest>

struct StoreFixture
{
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("data/ovra.sqlite"));
    EditIdentity identity{QStringLiteral("DEVICE-1"), QStringLiteral("Poste de test")};

    std::unique_ptr<RecordStore> open()
    {
        auto s = RecordStore::open(path, [this] { return identity; });
        if (!s)
            qWarning() << s.error().message;
        return s ? std::move(s.value()) : nullptr;
    }
};
