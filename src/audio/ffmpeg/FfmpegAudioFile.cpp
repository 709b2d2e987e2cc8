#include "FfmpegAudioFile.h"

#include "FfmpegEncoder.h"
#include "FfmpegError.h"

#include <QFile>
#include <QFileInfo>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

#include <functional>

namespace {

AudioError unreadable(const QString& path, const QString& why)
{
    return {QStringLiteral("Fichier audio illisible (%1) : %2").arg(QFileInfo(path).fileName(), why)};
}

// Opens the first audio stream of a file and hands out its samples as mono float blocks at
// one chosen rate.
class Decoder
{
public:
    using Sink = std::function<Expected<void, AudioError>(const float*, int)>;

    ~Decoder()
    {
        swr_free(&m_swr);
        av_channel_layout_uninit(&m_inLayout);
        av_channel_layout_uninit(&m_frameLayout);
        av_frame_free(&m_frame);
        av_packet_free(&m_packet);
        avcodec_free_context(&m_codec);
        avformat_close_input(&m_format);
    }

    Expected<void, AudioError> open(const QString& path)
    {
        FfmpegError::quietLogs();
        m_path = path;
        const QFileInfo info(path);
        if (!info.exists())
            return unexpected(AudioError{QStringLiteral("Fichier audio introuvable : %1").arg(path)});
        if (info.size() == 0)
            return unexpected(unreadable(path, QStringLiteral("le fichier est vide")));
        const QByteArray encoded = QFile::encodeName(path);
        int rc = avformat_open_input(&m_format, encoded.constData(), nullptr, nullptr);
        if (rc < 0)
            return unexpected(unreadable(path, FfmpegError::describe(rc)));
        rc = avformat_find_stream_info(m_format, nullptr);
        if (rc < 0)
            return unexpected(unreadable(path, FfmpegError::describe(rc)));
        const AVCodec* codec = nullptr;
        m_stream = av_find_best_stream(m_format, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
        if (m_stream < 0 || !codec)
            return unexpected(unreadable(path, QStringLiteral("aucune piste audio")));
        const AVCodecParameters* par = m_format->streams[m_stream]->codecpar;
        if (par->ch_layout.nb_channels <= 0)
            return unexpected(unreadable(path, QStringLiteral("la piste audio n'a aucun canal")));
        if (par->sample_rate <= 0)
            return unexpected(unreadable(path, QStringLiteral("fréquence d'échantillonnage inconnue")));
        m_codec = avcodec_alloc_context3(codec);
        avcodec_parameters_to_context(m_codec, par);
        rc = avcodec_open2(m_codec, codec, nullptr);
        if (rc < 0)
            return unexpected(unreadable(path, FfmpegError::describe(rc)));
        m_frame = av_frame_alloc();
        m_packet = av_packet_alloc();
        return {};
    }

    AVFormatContext* format() const { return m_format; }
    AVStream* stream() const { return m_format->streams[m_stream]; }

    // Decodes to the end. A damaged or truncated tail ends the stream; what came before counts.
    Expected<qint64, AudioError> run(int rate, const Sink& sink)
    {
        m_rate = rate;
        m_sink = &sink;
        bool draining = false;
        while (!draining) {
            int rc = av_read_frame(m_format, m_packet);
            if (rc < 0) {
                draining = true;
                rc = avcodec_send_packet(m_codec, nullptr);
            } else if (m_packet->stream_index != m_stream) {
                av_packet_unref(m_packet);
                continue;
            } else {
                rc = avcodec_send_packet(m_codec, m_packet);
                av_packet_unref(m_packet);
                if (rc == AVERROR_INVALIDDATA)
                    continue; // one broken packet: skip it, keep the rest
            }
            if (rc < 0 && rc != AVERROR_EOF)
                return unexpected(unreadable(m_path, FfmpegError::describe(rc)));
            if (auto r = receiveFrames(); !r)
                return unexpected(r.error());
        }
        if (m_swr) {
            if (auto r = convert(nullptr, 0); !r)
                return unexpected(r.error());
        }
        if (m_produced == 0)
            return unexpected(unreadable(m_path, QStringLiteral("aucun son décodable")));
        return m_produced;
    }

private:
    Expected<void, AudioError> receiveFrames()
    {
        while (true) {
            const int rc = avcodec_receive_frame(m_codec, m_frame);
            if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF)
                return {};
            if (rc == AVERROR_INVALIDDATA)
                continue;
            if (rc < 0)
                return unexpected(unreadable(m_path, FfmpegError::describe(rc)));
            auto r = convertFrame();
            av_frame_unref(m_frame);
            if (!r)
                return r;
        }
    }

    Expected<void, AudioError> convertFrame()
    {
        if (m_frame->ch_layout.nb_channels <= 0)
            return unexpected(unreadable(m_path, QStringLiteral("la piste audio n'a aucun canal")));
        const bool changed = !m_swr || m_inRate != m_frame->sample_rate || m_inFormat != m_frame->format ||
                             av_channel_layout_compare(&m_frameLayout, &m_frame->ch_layout) != 0;
        if (changed) {
            if (m_swr) {
                if (auto r = convert(nullptr, 0); !r) // drain what the old converter holds
                    return r;
            }
            swr_free(&m_swr);
            AVChannelLayout mono;
            av_channel_layout_default(&mono, 1);
            // Compared as the decoder gives it: an unspecified layout replaced by the default one
            // below must not count as a change at every frame (a new converter each time).
            av_channel_layout_uninit(&m_frameLayout);
            av_channel_layout_copy(&m_frameLayout, &m_frame->ch_layout);
            av_channel_layout_uninit(&m_inLayout);
            av_channel_layout_copy(&m_inLayout, &m_frame->ch_layout);
            if (m_inLayout.order == AV_CHANNEL_ORDER_UNSPEC)
                av_channel_layout_default(&m_inLayout, m_frame->ch_layout.nb_channels);
            m_inRate = m_frame->sample_rate;
            m_inFormat = m_frame->format;
            int rc = swr_alloc_set_opts2(&m_swr, &mono, AV_SAMPLE_FMT_FLT, m_rate, &m_inLayout,
                                         static_cast<AVSampleFormat>(m_inFormat), m_inRate, 0, nullptr);
            if (rc >= 0)
                rc = swr_init(m_swr);
            if (rc < 0)
                return unexpected(unreadable(m_path, FfmpegError::describe(rc)));
        }
        return convert(const_cast<const uint8_t**>(m_frame->extended_data), m_frame->nb_samples);
    }

    Expected<void, AudioError> convert(const uint8_t** in, int count)
    {
        const int room = swr_get_out_samples(m_swr, count);
        if (room <= 0)
            return {};
        if (static_cast<int>(m_out.size()) < room)
            m_out.resize(static_cast<size_t>(room));
        uint8_t* out = reinterpret_cast<uint8_t*>(m_out.data());
        const int n = swr_convert(m_swr, &out, room, in, count);
        if (n < 0)
            return unexpected(unreadable(m_path, FfmpegError::describe(n)));
        if (n == 0)
            return {};
        m_produced += n;
        return (*m_sink)(m_out.data(), n);
    }

    QString m_path;
    AVFormatContext* m_format = nullptr;
    AVCodecContext* m_codec = nullptr;
    AVFrame* m_frame = nullptr;
    AVPacket* m_packet = nullptr;
    SwrContext* m_swr = nullptr;
    AVChannelLayout m_inLayout{};
    AVChannelLayout m_frameLayout{};
    int m_inRate = 0;
    int m_inFormat = -1;
    int m_stream = -1;
    int m_rate = AudioFile::kDecodeRate;
    qint64 m_produced = 0;
    const Sink* m_sink = nullptr;
    std::vector<float> m_out;

public:
    Decoder() = default;
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;
};

} // namespace

namespace FfmpegAudioFile {

using AudioFile::kDecodeRate;
using AudioFile::SampleRange;

Expected<std::vector<float>, AudioError> decodeMono16k(const QString& path)
{
    Decoder decoder;
    if (auto r = decoder.open(path); !r)
        return unexpected(r.error());
    std::vector<float> samples;
    if (decoder.format()->duration > 0)
        samples.reserve(static_cast<size_t>(decoder.format()->duration * kDecodeRate / AV_TIME_BASE + kDecodeRate));
    const Decoder::Sink sink = [&](const float* data, int n) -> Expected<void, AudioError> {
        samples.insert(samples.end(), data, data + n);
        return {};
    };
    if (auto r = decoder.run(kDecodeRate, sink); !r)
        return unexpected(r.error());
    return samples;
}

Expected<double, AudioError> duration(const QString& path)
{
    Decoder decoder;
    if (auto r = decoder.open(path); !r)
        return unexpected(r.error());
    const AVStream* stream = decoder.stream();
    if (stream->duration > 0 && stream->time_base.den > 0)
        return static_cast<double>(stream->duration) * av_q2d(stream->time_base);
    if (decoder.format()->duration > 0)
        return static_cast<double>(decoder.format()->duration) / AV_TIME_BASE;
    const Decoder::Sink count = [](const float*, int) -> Expected<void, AudioError> { return {}; };
    auto samples = decoder.run(kDecodeRate, count);
    if (!samples)
        return unexpected(samples.error());
    return static_cast<double>(samples.value()) / kDecodeRate;
}

Expected<void, AudioError> transcode(const QString& input, const QString& output, AudioFormat format, int sampleRate,
                                     int bitRate)
{
    Decoder decoder;
    if (auto r = decoder.open(input); !r)
        return unexpected(r.error());
    FfmpegEncoder writer;
    if (auto r = writer.open(output, sampleRate, bitRate, format); !r) {
        QFile::remove(output);
        return r;
    }
    const Decoder::Sink sink = [&](const float* data, int n) {
        return writer.write(std::span<const float>(data, static_cast<size_t>(n)));
    };
    auto decoded = decoder.run(sampleRate, sink);
    Expected<void, AudioError> finished = decoded ? writer.finish() : Expected<void, AudioError>{};
    if (!decoded || !finished) {
        QFile::remove(output);
        return unexpected(decoded ? finished.error() : decoded.error());
    }
    return {};
}

Expected<void, AudioError> copyAacRanges(const QString& input, const QString& output,
                                         const std::vector<SampleRange>& ranges)
{
    FfmpegError::quietLogs();
    const QByteArray in = QFile::encodeName(input), out = QFile::encodeName(output);
    AVFormatContext* src = nullptr;
    AVFormatContext* dst = nullptr;
    AVPacket* packet = av_packet_alloc();
    auto cleanup = [&] {
        av_packet_free(&packet);
        avformat_close_input(&src);
        if (dst && dst->pb)
            avio_closep(&dst->pb);
        avformat_free_context(dst);
    };
    auto fail = [&](const QString& why) {
        cleanup();
        QFile::remove(output);
        return unexpected(AudioError{QStringLiteral("Copie audio impossible : %1").arg(why)});
    };

    int rc = avformat_open_input(&src, in.constData(), nullptr, nullptr);
    if (rc >= 0)
        rc = avformat_find_stream_info(src, nullptr);
    if (rc < 0)
        return fail(FfmpegError::describe(rc));
    const int index = av_find_best_stream(src, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (index < 0)
        return fail(QStringLiteral("aucune piste audio"));
    AVStream* from = src->streams[index];
    const AVCodecParameters* par = from->codecpar;
    if (par->codec_id != AV_CODEC_ID_AAC || par->sample_rate != kDecodeRate || par->ch_layout.nb_channels != 1)
        return fail(QStringLiteral("pas de l'AAC 16 kHz mono"));

    rc = avformat_alloc_output_context2(&dst, nullptr, "ipod", out.constData());
    if (rc < 0 || !dst)
        return fail(FfmpegError::describe(rc));
    AVStream* to = avformat_new_stream(dst, nullptr);
    if (!to || avcodec_parameters_copy(to->codecpar, par) < 0)
        return fail(QStringLiteral("flux"));
    to->codecpar->codec_tag = 0;
    to->time_base = AVRational{1, kDecodeRate};
    rc = avio_open(&dst->pb, out.constData(), AVIO_FLAG_WRITE);
    if (rc >= 0)
        rc = avformat_write_header(dst, nullptr);
    if (rc < 0)
        return fail(FfmpegError::describe(rc));

    size_t r = 0;
    // The first frame decodes without the overlap of a previous one: start the timeline before
    // zero by the encoder delay, so the muxer's edit list hides it, as in the recording itself.
    qint64 nextPts = -qMax(0, par->initial_padding);
    qint64 copied = 0;
    while ((rc = av_read_frame(src, packet)) >= 0) {
        if (packet->stream_index != index || packet->pts == AV_NOPTS_VALUE) {
            av_packet_unref(packet);
            continue;
        }
        const qint64 start = av_rescale_q(packet->pts, from->time_base, AVRational{1, kDecodeRate});
        const qint64 length = packet->duration > 0
                                  ? av_rescale_q(packet->duration, from->time_base, AVRational{1, kDecodeRate})
                                  : 1024;
        while (r < ranges.size() && ranges[r].end <= start)
            ++r;
        const bool keep = r < ranges.size() && ranges[r].start < start + length;
        if (keep) {
            packet->stream_index = 0;
            packet->pts = packet->dts = nextPts;
            packet->duration = length;
            packet->pos = -1;
            nextPts += length;
            ++copied;
            rc = av_write_frame(dst, packet);
        }
        av_packet_unref(packet);
        if (keep && rc < 0)
            return fail(FfmpegError::describe(rc));
    }
    if (copied == 0)
        return fail(QStringLiteral("rien à copier"));
    rc = av_write_trailer(dst);
    if (rc >= 0) {
        avio_flush(dst->pb);
        rc = dst->pb->error;
    }
    if (rc < 0)
        return fail(FfmpegError::describe(rc));
    cleanup();
    return {};
}

} // namespace FfmpegAudioFile
