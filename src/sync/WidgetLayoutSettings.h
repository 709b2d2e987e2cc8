#pragma once
// The widget layouts the backup document carries, and the date of their last change.
#include <QDateTime>
#include <QMap>
#include <QStringList>
#include <optional>

class Settings;

struct WidgetLayouts
{
    QMap<QString, QStringList> layouts;
    std::optional<QDateTime> updatedAt;

    static WidgetLayouts read(const Settings& settings);
    static void store(Settings& settings, const QMap<QString, QStringList>& layouts, const QDateTime& updatedAt);
};
