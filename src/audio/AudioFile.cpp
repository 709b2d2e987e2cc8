#include "AudioFile.h"

#include "AudioCodecs.h"

#include <QFileInfo>

namespace AudioFile {

std::optional<AudioFormat> formatForFileName(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("m4a"))
        return AudioFormat::m4a;
    if (suffix == QLatin1String("wav"))
        return AudioFormat::wav;
    if (suffix == QLatin1String("flac"))
        return AudioFormat::flac;
    if (suffix == QLatin1String("ogg"))
        return AudioFormat::ogg;
    return std::nullopt;
}

Expected<std::vector<float>, AudioError> decodeMono16k(const QString& path)
{
    auto codecs = AudioCodecs::load();
    if (!codecs)
        return unexpected(codecs.error());
    return (*codecs)->decodeMono16k(path);
}

Expected<double, AudioError> duration(const QString& path)
{
    auto codecs = AudioCodecs::load();
    if (!codecs)
        return unexpected(codecs.error());
    return (*codecs)->duration(path);
}

Expected<void, AudioError> transcodeToAac(const QString& input, const QString& output, int sampleRate, int bitRate)
{
    return transcode(input, output, AudioFormat::m4a, sampleRate, bitRate);
}

Expected<void, AudioError> transcode(const QString& input, const QString& output, AudioFormat format, int sampleRate,
                                     int bitRate)
{
    auto codecs = AudioCodecs::load();
    if (!codecs)
        return unexpected(codecs.error());
    return (*codecs)->transcode(input, output, format, sampleRate, bitRate);
}

Expected<void, AudioError> copyAacRanges(const QString& input, const QString& output,
                                         const std::vector<SampleRange>& ranges)
{
    auto codecs = AudioCodecs::load();
    if (!codecs)
        return unexpected(codecs.error());
    return (*codecs)->copyAacRanges(input, output, ranges);
}

} // namespace AudioFile
