#include "DBusControlWire.h"

namespace DBusControlWire {

QVariantMap toMap(const RemoteHelperStatus& s)
{
    QVariantMap m{{QStringLiteral("enabled"), s.enabled},
                  {QStringLiteral("running"), s.running},
                  {QStringLiteral("advertised"), s.advertised},
                  {QStringLiteral("autoPaste"), s.autoPaste},
                  {QStringLiteral("port"), uint(s.port)},
                  {QStringLiteral("name"), s.name},
                  {QStringLiteral("phones"), s.phones}};
    if (s.pairingCode) {
        m.insert(QStringLiteral("pairingCode"), *s.pairingCode);
        m.insert(QStringLiteral("pairingSecondsLeft"), s.pairingSecondsLeft);
    }
    if (s.lastReceivedDate) {
        // Seconds since 1970 (UTC): D-Bus has no date type.
        m.insert(QStringLiteral("lastReceivedDate"), s.lastReceivedDate->toSecsSinceEpoch());
        m.insert(QStringLiteral("lastReceivedFrom"), s.lastReceivedFrom);
        m.insert(QStringLiteral("lastReceivedDelivery"), s.lastReceivedDelivery);
    }
    return m;
}

RemoteHelperStatus helperStatusFromMap(const QVariantMap& m)
{
    RemoteHelperStatus s;
    s.enabled = m.value(QStringLiteral("enabled")).toBool();
    s.running = m.value(QStringLiteral("running")).toBool();
    s.advertised = m.value(QStringLiteral("advertised")).toBool();
    s.autoPaste = m.value(QStringLiteral("autoPaste")).toBool();
    const uint port = m.value(QStringLiteral("port")).toUInt();
    s.port = port <= 65535 ? quint16(port) : 0;
    s.name = m.value(QStringLiteral("name")).toString();
    s.phones = m.value(QStringLiteral("phones")).toStringList();
    if (m.contains(QStringLiteral("pairingCode"))) {
        s.pairingCode = m.value(QStringLiteral("pairingCode")).toString();
        s.pairingSecondsLeft = m.value(QStringLiteral("pairingSecondsLeft")).toLongLong();
    }
    if (m.contains(QStringLiteral("lastReceivedDate"))) {
        s.lastReceivedDate = QDateTime::fromSecsSinceEpoch(m.value(QStringLiteral("lastReceivedDate")).toLongLong(),
                                                           Qt::UTC);
        s.lastReceivedFrom = m.value(QStringLiteral("lastReceivedFrom")).toString();
        s.lastReceivedDelivery = m.value(QStringLiteral("lastReceivedDelivery")).toString();
    }
    return s;
}

QVariantMap toMap(const RemotePairingCode& c)
{
    return {{QStringLiteral("code"), c.code}, {QStringLiteral("secondsLeft"), c.secondsLeft}};
}

RemotePairingCode pairingCodeFromMap(const QVariantMap& m)
{
    return {m.value(QStringLiteral("code")).toString(), m.value(QStringLiteral("secondsLeft")).toLongLong()};
}

} // namespace DBusControlWire
