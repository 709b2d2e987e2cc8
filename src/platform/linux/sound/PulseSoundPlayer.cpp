#include "PulseSoundPlayer.h"

#include "SoundSamples.h"

#include <QtConcurrent>

#include <pulse/error.h>
#include <pulse/simple.h>

namespace {

Expected<void, QString> playBlocking(SystemSound sound)
{
    const QVector<qint16> samples = SoundSamples::samples(sound);
    const pa_sample_spec format{PA_SAMPLE_S16LE, SoundSamples::kRate, 1};
    int error = 0;
    pa_simple* stream =
        pa_simple_new(nullptr, "Ovra", PA_STREAM_PLAYBACK, nullptr, "sound", &format, nullptr, nullptr, &error);
    if (!stream)
        return unexpected(QString::fromUtf8(pa_strerror(error)));
    const bool ok = pa_simple_write(stream, samples.constData(), size_t(samples.size()) * sizeof(qint16), &error) == 0 &&
                    pa_simple_drain(stream, &error) == 0;
    pa_simple_free(stream);
    if (!ok)
        return unexpected(QString::fromUtf8(pa_strerror(error)));
    return {};
}

} // namespace

QFuture<Expected<void, QString>> PulseSoundPlayer::playSound(SystemSound sound)
{
    return QtConcurrent::run(playBlocking, sound);
}
