// The module's entry point: the audio library's codecs on FFmpeg.
#include "FfmpegAudioFile.h"
#include "FfmpegEncoder.h"

namespace {

class FfmpegCodecs final : public AudioCodecs
{
public:
    Expected<std::vector<float>, AudioError> decodeMono16k(const QString& path) override
    {
        return FfmpegAudioFile::decodeMono16k(path);
    }
    Expected<double, AudioError> duration(const QString& path) override { return FfmpegAudioFile::duration(path); }
    Expected<void, AudioError> transcode(const QString& input, const QString& output, AudioFormat format,
                                         int sampleRate, int bitRate) override
    {
        return FfmpegAudioFile::transcode(input, output, format, sampleRate, bitRate);
    }
    Expected<void, AudioError> copyAacRanges(const QString& input, const QString& output,
                                             const std::vector<AudioFile::SampleRange>& ranges) override
    {
        return FfmpegAudioFile::copyAacRanges(input, output, ranges);
    }
    std::unique_ptr<AudioEncoder> encoder() override { return std::make_unique<FfmpegEncoder>(); }
};

} // namespace

extern "C" __attribute__((visibility("default"))) AudioCodecs* ovra_audio_codecs()
{
    static FfmpegCodecs codecs;
    return &codecs;
}
