#include "HelperPairedPhone.h"

#include "store/DateTime.h"

#include <cmath>

QVariantMap HelperPairedPhone::toVariant() const
{
    QVariantMap m{{QStringLiteral("id"), id},
                  {QStringLiteral("name"), name},
                  {QStringLiteral("pairedAt"), DateTime::toReferenceSeconds(pairedAt)}};
    if (deviceType)
        m.insert(QStringLiteral("deviceType"), *deviceType);
    return m;
}

std::optional<HelperPairedPhone> HelperPairedPhone::fromVariant(const QVariant& v)
{
    if (v.typeId() != QMetaType::QVariantMap)
        return std::nullopt;
    const QVariantMap m = v.toMap();
    const QVariant id = m.value(QStringLiteral("id"));
    const QVariant name = m.value(QStringLiteral("name"));
    const QVariant pairedAt = m.value(QStringLiteral("pairedAt"));
    const QVariant type = m.value(QStringLiteral("deviceType"));
    bool numeric = false;
    const double seconds = pairedAt.toDouble(&numeric);
    if (id.typeId() != QMetaType::QString || id.toString().isEmpty() || name.typeId() != QMetaType::QString
        || !numeric || pairedAt.typeId() == QMetaType::QString || !std::isfinite(seconds) || std::fabs(seconds) > 1e11
        || (type.isValid() && !type.isNull() && type.typeId() != QMetaType::QString))
        return std::nullopt;
    HelperPairedPhone p{id.toString(), name.toString(), DateTime::fromReferenceSeconds(seconds), std::nullopt};
    if (type.typeId() == QMetaType::QString)
        p.deviceType = type.toString();
    return p;
}
