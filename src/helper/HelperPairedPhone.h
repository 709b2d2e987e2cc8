#pragma once
// A phone paired with this computer, as kept in the stored list.
#include <QDateTime>
#include <QString>
#include <QVariant>
#include <optional>

struct HelperPairedPhone
{
    QString id;
    QString name;
    QDateTime pairedAt;
    std::optional<QString> deviceType;

    // {"id", "name", "pairedAt" (seconds since 2001), "deviceType"?}
    QVariantMap toVariant() const;
    static std::optional<HelperPairedPhone> fromVariant(const QVariant& v);
    bool operator==(const HelperPairedPhone&) const = default;
};
