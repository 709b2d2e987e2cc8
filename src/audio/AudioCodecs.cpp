#include "AudioCodecs.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <dlfcn.h>
#include <mutex>

namespace {

constexpr const char* kModule = "libovra-ffmpeg.so";

// Installed: lib/ovra beside the binary's folder. Run from the build folder: where it was built.
QStringList candidates()
{
    QStringList paths;
    if (QCoreApplication::instance())
        paths << QDir(QCoreApplication::applicationDirPath())
                     .filePath(QStringLiteral("../" OVRA_MODULE_INSTALL_DIR "/") + QLatin1String(kModule));
    paths << QStringLiteral(OVRA_MODULE_BUILD_DIR "/") + QLatin1String(kModule);
    return paths;
}

} // namespace

Expected<AudioCodecs*, AudioError> AudioCodecs::load()
{
    static std::once_flag once;
    static AudioCodecs* codecs = nullptr;
    static QString failure;
    std::call_once(once, [] {
        QString error = QStringLiteral("fichier absent");
        for (const QString& path : candidates()) {
            if (!QFile::exists(path))
                continue;
            void* module = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
            auto entry = module ? reinterpret_cast<AudioCodecsEntry>(dlsym(module, OVRA_AUDIO_CODECS_ENTRY)) : nullptr;
            if (entry) {
                codecs = entry();
                return;
            }
            error = QString::fromLocal8Bit(dlerror());
        }
        failure = QStringLiteral("Module audio introuvable (%1) : %2").arg(QLatin1String(kModule), error);
    });
    if (!codecs)
        return unexpected(AudioError{failure});
    return codecs;
}
