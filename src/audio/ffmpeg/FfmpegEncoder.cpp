#include "FfmpegEncoder.h"

#include "FfmpegError.h"

#include <QFile>

#include <fcntl.h>
#include <unistd.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/dict.h>
}

#include <algorithm>
#include <vector>

struct FfmpegEncoder::State
{
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    AVStream* stream = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    std::vector<float> pending; // samples waiting for a full encoder frame
    AVSampleFormat sampleFormat = AV_SAMPLE_FMT_FLTP;
    int frameSize = 1024;
    qint64 pts = 0;
    qint64 written = 0;
    static constexpr qint64 kFlushBytes = 4096;
    qint64 flushedAt = 0;
    bool headerWritten = false;
    QString path;

    ~State()
    {
        if (format && format->pb)
            avio_closep(&format->pb);
        avformat_free_context(format);
        avcodec_free_context(&codec);
        av_frame_free(&frame);
        av_packet_free(&packet);
    }

    AudioError failure(const QString& what, int code) const
    {
        return {QStringLiteral("Écriture audio impossible (%1) : %2").arg(what, FfmpegError::describe(code))};
    }

    // Sends one frame (or the flush request when f is null) and writes every packet produced.
    Expected<void, AudioError> encode(AVFrame* f)
    {
        int rc = avcodec_send_frame(codec, f);
        if (rc < 0)
            return unexpected(failure(QStringLiteral("encodeur"), rc));
        while (true) {
            rc = avcodec_receive_packet(codec, packet);
            if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF)
                break;
            if (rc < 0)
                return unexpected(failure(QStringLiteral("encodeur"), rc));
            av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
            packet->stream_index = stream->index;
            rc = av_write_frame(format, packet);
            av_packet_unref(packet);
            if (rc < 0)
                return unexpected(failure(path, rc));
        }
        // FFmpeg buffers 256 kB (about a minute of speech) before touching the disk; push the
        // data out every few kilobytes so a full disk shows at once and a crash loses little.
        if (avio_tell(format->pb) - flushedAt >= kFlushBytes) {
            avio_flush(format->pb);
            flushedAt = avio_tell(format->pb);
        }
        if (format->pb->error < 0)
            return unexpected(failure(path, format->pb->error));
        return {};
    }

    Expected<void, AudioError> encodePending(int count)
    {
        int rc = av_frame_make_writable(frame);
        if (rc < 0)
            return unexpected(failure(QStringLiteral("mémoire"), rc));
        frame->nb_samples = count;
        if (sampleFormat == AV_SAMPLE_FMT_S16) {
            auto* out = reinterpret_cast<int16_t*>(frame->data[0]);
            for (int i = 0; i < count; ++i)
                out[i] = static_cast<int16_t>(std::lround(std::clamp(pending[size_t(i)], -1.0f, 1.0f) * 32767.0f));
        } else {
            std::copy_n(pending.data(), count, reinterpret_cast<float*>(frame->data[0]));
        }
        frame->pts = pts;
        pts += count;
        pending.erase(pending.begin(), pending.begin() + count);
        return encode(frame);
    }
};

FfmpegEncoder::FfmpegEncoder() = default;
FfmpegEncoder::~FfmpegEncoder() = default;

bool FfmpegEncoder::isOpen() const
{
    return m_state != nullptr;
}

qint64 FfmpegEncoder::samplesWritten() const
{
    return m_state ? m_state->written : 0;
}

QString FfmpegEncoder::path() const
{
    return m_state ? m_state->path : QString();
}

Expected<void, AudioError> FfmpegEncoder::open(const QString& path, int sampleRate, int bitRate, AudioFormat format)
{
    m_state.reset();
    FfmpegError::quietLogs();
    auto s = std::make_unique<State>();
    s->path = path;
    const QByteArray encodedPath = QFile::encodeName(path);

    // "ipod" is FFmpeg's M4A flavour of the MP4 muxer.
    struct Encoding
    {
        const char* container;
        const char* encoder;
        AVSampleFormat sampleFormat;
        const char* name;
    };
    const Encoding e = format == AudioFormat::wav    ? Encoding{"wav", "pcm_s16le", AV_SAMPLE_FMT_S16, "WAV"}
                       : format == AudioFormat::flac ? Encoding{"flac", "flac", AV_SAMPLE_FMT_S16, "FLAC"}
                       : format == AudioFormat::ogg  ? Encoding{"ogg", "libvorbis", AV_SAMPLE_FMT_FLTP, "Ogg Vorbis"}
                                                     : Encoding{"ipod", "aac", AV_SAMPLE_FMT_FLTP, "M4A"};
    int rc = avformat_alloc_output_context2(&s->format, nullptr, e.container, encodedPath.constData());
    if (rc < 0 || !s->format)
        return unexpected(s->failure(QStringLiteral("conteneur %1").arg(QLatin1String(e.name)), rc));
    const AVCodec* aac = avcodec_find_encoder_by_name(e.encoder);
    if (!aac)
        return unexpected(AudioError{QStringLiteral("Écriture audio impossible : encodeur %1 absent.").arg(QLatin1String(e.encoder))});
    s->sampleFormat = e.sampleFormat;
    s->codec = avcodec_alloc_context3(aac);
    s->codec->sample_fmt = e.sampleFormat;
    s->codec->sample_rate = sampleRate;
    if (format == AudioFormat::m4a) {
        s->codec->bit_rate = bitRate;
    } else if (format == AudioFormat::ogg) {
        // Vorbis chooses its own rate for a quality; fixed low rates fail at 16 kHz.
        s->codec->flags |= AV_CODEC_FLAG_QSCALE;
        s->codec->global_quality = 3 * FF_QP2LAMBDA;
    }
    s->codec->time_base = AVRational{1, sampleRate};
    av_channel_layout_default(&s->codec->ch_layout, 1);
    if (s->format->oformat->flags & AVFMT_GLOBALHEADER)
        s->codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    // The "fast" coder costs a fraction of the default "twoloop" one; at 40 kbit/s mono speech
    // the difference is not audible, and a recording must not load the machine.
    AVDictionary* options = nullptr;
    if (format == AudioFormat::m4a)
        av_dict_set(&options, "aac_coder", "fast", 0);
    rc = avcodec_open2(s->codec, aac, &options);
    av_dict_free(&options);
    if (rc < 0)
        return unexpected(s->failure(QStringLiteral("encodeur %1").arg(QLatin1String(e.encoder)), rc));
    s->frameSize = s->codec->frame_size > 0 ? s->codec->frame_size : 1024;

    s->stream = avformat_new_stream(s->format, nullptr);
    if (!s->stream)
        return unexpected(s->failure(QStringLiteral("flux"), AVERROR(ENOMEM)));
    s->stream->time_base = AVRational{1, sampleRate};
    rc = avcodec_parameters_from_context(s->stream->codecpar, s->codec);
    if (rc < 0)
        return unexpected(s->failure(QStringLiteral("flux"), rc));

    // Recordings are the user's voice: owner-only from the first byte (FFmpeg would create the
    // file with the umask's permissions; opening it again keeps these).
    const int fd = ::open(encodedPath.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return unexpected(s->failure(path, AVERROR(errno)));
    ::close(fd);
    rc = avio_open(&s->format->pb, encodedPath.constData(), AVIO_FLAG_WRITE);
    if (rc < 0)
        return unexpected(s->failure(path, rc));
    rc = avformat_write_header(s->format, nullptr);
    if (rc < 0)
        return unexpected(s->failure(path, rc));
    s->headerWritten = true;

    s->frame = av_frame_alloc();
    s->packet = av_packet_alloc();
    s->frame->format = e.sampleFormat;
    s->frame->sample_rate = sampleRate;
    s->frame->nb_samples = s->frameSize;
    av_channel_layout_default(&s->frame->ch_layout, 1);
    rc = av_frame_get_buffer(s->frame, 0);
    if (rc < 0)
        return unexpected(s->failure(QStringLiteral("mémoire"), rc));
    s->pending.reserve(static_cast<size_t>(s->frameSize) * 2);
    m_state = std::move(s);
    return {};
}

Expected<void, AudioError> FfmpegEncoder::write(std::span<const float> samples)
{
    if (!m_state)
        return unexpected(AudioError{QStringLiteral("Écriture audio impossible : fichier non ouvert.")});
    State& s = *m_state;
    while (!samples.empty()) {
        const size_t room = static_cast<size_t>(s.frameSize) - s.pending.size();
        const size_t take = std::min(room, samples.size());
        s.pending.insert(s.pending.end(), samples.begin(), samples.begin() + static_cast<std::ptrdiff_t>(take));
        samples = samples.subspan(take);
        s.written += static_cast<qint64>(take);
        if (s.pending.size() == static_cast<size_t>(s.frameSize)) {
            if (auto r = s.encodePending(s.frameSize); !r)
                return r;
        }
    }
    return {};
}

Expected<void, AudioError> FfmpegEncoder::finish()
{
    if (!m_state)
        return unexpected(AudioError{QStringLiteral("Écriture audio impossible : fichier non ouvert.")});
    std::unique_ptr<State> s = std::move(m_state);
    if (!s->pending.empty()) {
        if (auto r = s->encodePending(static_cast<int>(s->pending.size())); !r)
            return r;
    }
    if (auto r = s->encode(nullptr); !r)
        return r;
    int rc = av_write_trailer(s->format);
    if (rc < 0)
        return unexpected(s->failure(s->path, rc));
    avio_flush(s->format->pb);
    if (s->format->pb->error < 0)
        return unexpected(s->failure(s->path, s->format->pb->error));
    rc = avio_closep(&s->format->pb);
    if (rc < 0)
        return unexpected(s->failure(s->path, rc));
    return {};
}
