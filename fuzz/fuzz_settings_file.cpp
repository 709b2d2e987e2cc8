// A settings file may have been edited by hand: reading it must never crash.
#include "store/Settings.h"

#include <QFile>
#include <QTemporaryDir>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static QTemporaryDir dir;
    for (const char* name : {Settings::kSharedFileName, Settings::kOwnFileName}) {
        QFile f(dir.filePath(QLatin1String(name)));
        if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            f.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    Settings s(dir.path());
    (void)s.iCloudSyncEnabled();
    (void)s.intValue(SharedDefaultsKey::autoStopTimeout, 0);
    (void)s.map(QStringLiteral("ovra.mac.modeTriggers"));
    (void)s.stringList(QStringLiteral("ovra.mac.autoSendEnter"));
    return 0;
}
