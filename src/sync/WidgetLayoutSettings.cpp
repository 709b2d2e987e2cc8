#include "WidgetLayoutSettings.h"

#include "store/AppSettingsKeys.h"
#include "store/DateTime.h"
#include "store/Settings.h"

WidgetLayouts WidgetLayouts::read(const Settings& settings)
{
    WidgetLayouts w;
    const QVariantMap m = settings.map(AppSettingsKey::widgetLayouts);
    for (auto it = m.begin(); it != m.end(); ++it) {
        QStringList items;
        for (const QVariant& v : it.value().toList())
            if (v.typeId() == QMetaType::QString)
                items << v.toString();
        w.layouts.insert(it.key(), items);
    }
    // Seconds since 2001-01-01 UTC, like every date the settings hold.
    if (const auto at = settings.numberValue(AppSettingsKey::widgetLayoutsUpdatedAt))
        w.updatedAt = DateTime::fromReferenceSeconds(*at);
    return w;
}

void WidgetLayouts::store(Settings& settings, const QMap<QString, QStringList>& layouts, const QDateTime& updatedAt)
{
    QVariantMap m;
    for (auto it = layouts.begin(); it != layouts.end(); ++it)
        m.insert(it.key(), it.value());
    settings.setValue(AppSettingsKey::widgetLayouts, m);
    settings.setValue(AppSettingsKey::widgetLayoutsUpdatedAt, DateTime::toReferenceSeconds(updatedAt));
    settings.sync();
}
