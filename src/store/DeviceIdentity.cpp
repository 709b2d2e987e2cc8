#include "DeviceIdentity.h"

#include "Settings.h"

#include <QFile>
#include <QSysInfo>

namespace DeviceIdentity {

QString prettyHostName()
{
    QFile info(QStringLiteral("/etc/machine-info"));
    if (info.open(QIODevice::ReadOnly)) {
        while (!info.atEnd()) {
            const QString line = QString::fromUtf8(info.readLine()).trimmed();
            if (!line.startsWith(QLatin1String("PRETTY_HOSTNAME=")))
                continue;
            QString v = line.mid(16);
            if (v.size() >= 2 && (v.startsWith(QLatin1Char('"')) || v.startsWith(QLatin1Char('\''))))
                v = v.mid(1, v.size() - 2);
            if (!v.isEmpty())
                return v;
        }
    }
    return QSysInfo::machineHostName();
}

EditIdentity current(Settings& settings) { return {settings.deviceID(), prettyHostName()}; }

} // namespace DeviceIdentity
