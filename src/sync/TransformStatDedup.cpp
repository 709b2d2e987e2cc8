#include "TransformStatDedup.h"

#include "store/AppSettingsKeys.h"
#include "store/DebugLog.h"
#include "store/RecordStore.h"
#include "store/Settings.h"

#include <QElapsedTimer>
#include <QSet>

void TransformStatDedup::runOnce(RecordStore& store, Settings& settings, DebugLog& log)
{
    if (settings.boolValue(AppSettingsKey::transformStatDedup, false))
        return;
    QElapsedTimer timer;
    timer.start();
    QSet<QString> seen;
    QList<QUuid> duplicates;
    qint64 before = 0;
    store.forEach<TransformationStat>([&](const TransformationStat& s) {
        ++before;
        const QString key = QStringLiteral("%1|%2|%3|%4")
                                .arg(s.fixCount)
                                .arg(s.wordCount)
                                .arg(s.createdAt.toMSecsSinceEpoch())
                                .arg(s.source);
        if (seen.contains(key))
            duplicates << s.id;
        else
            seen.insert(key);
    });
    const StoreResult saved = store.save([&]() -> StoreResult {
        for (const QUuid& id : duplicates)
            if (auto ok = store.erase<TransformationStat>(id); !ok)
                return ok;
        return {};
    });
    if (!saved) {
        log.log(QStringLiteral("PURGE TransformationStat : échec (%1)").arg(saved.error().message),
                QStringLiteral("SYNC"));
        return;
    }
    if (!duplicates.isEmpty())
        log.log(QStringLiteral("PURGE TransformationStat : %1 doublons supprimés (%2 → %3) en %4 s")
                    .arg(duplicates.size())
                    .arg(before)
                    .arg(before - duplicates.size())
                    .arg(QString::asprintf("%.1f", double(timer.nsecsElapsed()) / 1e9)),
                QStringLiteral("SYNC"));
    settings.setValue(AppSettingsKey::transformStatDedup, true);
    settings.sync();
}
