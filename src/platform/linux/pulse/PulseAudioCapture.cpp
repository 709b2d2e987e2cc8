#include "PulseAudioCapture.h"

#include <pulse/pulseaudio.h>

#include <QCoreApplication>
#include <vector>

namespace {

// The server's own words, and what they mean for the caller.
CaptureError serverError(pa_context* c, const char* what, CaptureError::Kind otherwise = CaptureError::Kind::failed)
{
    const int code = c ? pa_context_errno(c) : PA_ERR_CONNECTIONREFUSED;
    CaptureError::Kind kind = otherwise;
    if (code == PA_ERR_ACCESS || code == PA_ERR_AUTHKEY)
        kind = CaptureError::Kind::accessDenied;
    else if (code == PA_ERR_NOENTITY && otherwise == CaptureError::Kind::failed)
        kind = CaptureError::Kind::noDevice;
    return {QStringLiteral("Serveur son : %1 (%2)").arg(QString::fromUtf8(what), QString::fromUtf8(pa_strerror(code))),
            kind};
}

class Locker
{
public:
    explicit Locker(pa_threaded_mainloop* l) : m_loop(l) { pa_threaded_mainloop_lock(m_loop); }
    ~Locker() { pa_threaded_mainloop_unlock(m_loop); }
    Locker(const Locker&) = delete;
    Locker& operator=(const Locker&) = delete;

private:
    pa_threaded_mainloop* m_loop;
};

void signalLoop(pa_threaded_mainloop* loop)
{
    pa_threaded_mainloop_signal(loop, 0);
}

// Waits (main loop locked) until the operation is done.
void waitFor(pa_threaded_mainloop* loop, pa_operation* op)
{
    if (!op)
        return;
    while (pa_operation_get_state(op) == PA_OPERATION_RUNNING)
        pa_threaded_mainloop_wait(loop);
    pa_operation_unref(op);
}

class PulseSession : public AudioCaptureSession
{
public:
    PulseSession(pa_threaded_mainloop* loop, AudioCapture::Callbacks callbacks)
        : m_loop(loop), m_callbacks(std::move(callbacks))
    {
    }
    ~PulseSession() override { stop(); }

    // Main loop locked.
    Expected<void, CaptureError> open(pa_context* context, const QString& deviceId)
    {
        const pa_sample_spec format{PA_SAMPLE_FLOAT32LE, AudioCapture::kSampleRate, 1};
        m_stream = pa_stream_new(context, "Ovra", &format, nullptr);
        if (!m_stream)
            return unexpected(serverError(context, "flux d'enregistrement"));
        pa_stream_set_state_callback(m_stream, &PulseSession::onState, this);
        pa_stream_set_read_callback(m_stream, &PulseSession::onRead, this);
        // 10 ms fragments: on PipeWire the first samples of a dictation arrive about 40 ms after
        // key-down with 20 ms ones, 23 ms with these; they also keep the meter live. The stream
        // dies with its source rather than moving silently to another microphone.
        pa_buffer_attr attr{};
        attr.maxlength = uint32_t(-1);
        attr.fragsize = uint32_t(pa_usec_to_bytes(10000, &format));
        const QByteArray device = deviceId.toUtf8();
        const auto flags = pa_stream_flags_t(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE);
        if (pa_stream_connect_record(m_stream, deviceId.isEmpty() ? nullptr : device.constData(), &attr, flags) < 0)
            return unexpected(serverError(context, "flux d'enregistrement"));
        while (true) {
            const pa_stream_state_t s = pa_stream_get_state(m_stream);
            if (s == PA_STREAM_READY)
                break;
            if (s == PA_STREAM_FAILED || s == PA_STREAM_TERMINATED)
                return unexpected(serverError(context, "ouverture du micro"));
            pa_threaded_mainloop_wait(m_loop);
        }
        m_running = true;
        return {};
    }

    void stop() override
    {
        Locker lock(m_loop);
        closeLocked();
    }

    void closeLocked()
    {
        m_running = false;
        if (!m_stream)
            return;
        pa_stream_set_state_callback(m_stream, nullptr, nullptr);
        pa_stream_set_read_callback(m_stream, nullptr, nullptr);
        if (pa_stream_get_state(m_stream) == PA_STREAM_READY)
            pa_stream_disconnect(m_stream);
        pa_stream_unref(m_stream);
        m_stream = nullptr;
    }

private:
    static void onState(pa_stream* s, void* self)
    {
        auto* me = static_cast<PulseSession*>(self);
        const pa_stream_state_t state = pa_stream_get_state(s);
        if ((state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED) && me->m_running) {
            me->m_running = false;
            if (me->m_callbacks.ended)
                me->m_callbacks.ended(serverError(pa_stream_get_context(s), "le micro a disparu"));
        }
        signalLoop(me->m_loop);
    }

    static void onRead(pa_stream* s, size_t, void* self)
    {
        auto* me = static_cast<PulseSession*>(self);
        const void* data = nullptr;
        size_t bytes = 0;
        while (pa_stream_readable_size(s) > 0) {
            if (pa_stream_peek(s, &data, &bytes) < 0 || bytes == 0)
                return;
            if (me->m_running && me->m_callbacks.samples) {
                if (data) {
                    me->m_callbacks.samples(std::span<const float>(static_cast<const float*>(data), bytes / sizeof(float)));
                } else {
                    // A hole in the stream: silence keeps what follows at its place in time.
                    me->m_silence.assign(bytes / sizeof(float), 0.0f);
                    me->m_callbacks.samples(me->m_silence);
                }
            }
            pa_stream_drop(s);
        }
    }

    pa_threaded_mainloop* m_loop;
    AudioCapture::Callbacks m_callbacks;
    pa_stream* m_stream = nullptr;
    bool m_running = false;
    std::vector<float> m_silence;
};

} // namespace

PulseAudioCapture::PulseAudioCapture()
{
    m_loop = pa_threaded_mainloop_new();
    pa_threaded_mainloop_start(m_loop);
}

PulseAudioCapture::~PulseAudioCapture()
{
    pa_threaded_mainloop_stop(m_loop);
    if (m_context) {
        pa_context_disconnect(m_context);
        pa_context_unref(m_context);
    }
    pa_threaded_mainloop_free(m_loop);
}

Expected<void, CaptureError> PulseAudioCapture::connectLocked()
{
    if (m_context && pa_context_get_state(m_context) == PA_CONTEXT_READY)
        return {};
    if (m_context) {
        pa_context_set_state_callback(m_context, nullptr, nullptr);
        pa_context_disconnect(m_context);
        pa_context_unref(m_context);
    }
    const QByteArray name = QCoreApplication::applicationName().isEmpty()
                                ? QByteArrayLiteral("Ovra")
                                : QCoreApplication::applicationName().toUtf8();
    m_context = pa_context_new(pa_threaded_mainloop_get_api(m_loop), name.constData());
    pa_context_set_state_callback(
        m_context, [](pa_context*, void* loop) { signalLoop(static_cast<pa_threaded_mainloop*>(loop)); }, m_loop);
    constexpr auto unreachable = CaptureError::Kind::serverUnreachable;
    if (pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        return unexpected(serverError(m_context, "connexion impossible", unreachable));
    while (true) {
        const pa_context_state_t s = pa_context_get_state(m_context);
        if (s == PA_CONTEXT_READY)
            return {};
        if (!PA_CONTEXT_IS_GOOD(s))
            return unexpected(serverError(m_context, "connexion impossible", unreachable));
        pa_threaded_mainloop_wait(m_loop);
    }
}

Expected<QList<AudioInputDevice>, CaptureError> PulseAudioCapture::devices()
{
    Locker lock(m_loop);
    if (auto r = connectLocked(); !r)
        return unexpected(r.error());
    struct Query
    {
        pa_threaded_mainloop* loop;
        QList<AudioInputDevice> devices;
        QString defaultName;
    } q{m_loop, {}, {}};
    waitFor(m_loop, pa_context_get_server_info(
                        m_context,
                        [](pa_context*, const pa_server_info* info, void* p) {
                            auto* q = static_cast<Query*>(p);
                            if (info && info->default_source_name)
                                q->defaultName = QString::fromUtf8(info->default_source_name);
                            signalLoop(q->loop);
                        },
                        &q));
    waitFor(m_loop, pa_context_get_source_info_list(
                        m_context,
                        [](pa_context*, const pa_source_info* info, int eol, void* p) {
                            auto* q = static_cast<Query*>(p);
                            if (!eol && info && info->monitor_of_sink == PA_INVALID_INDEX)
                                q->devices.append({QString::fromUtf8(info->name),
                                                   QString::fromUtf8(info->description), false});
                            signalLoop(q->loop);
                        },
                        &q));
    for (AudioInputDevice& d : q.devices)
        d.isDefault = d.id == q.defaultName;
    return q.devices;
}

Expected<std::unique_ptr<AudioCaptureSession>, CaptureError> PulseAudioCapture::start(const QString& deviceId,
                                                                                      Callbacks callbacks)
{
    Locker lock(m_loop);
    if (auto r = connectLocked(); !r)
        return unexpected(r.error());
    auto session = std::make_unique<PulseSession>(m_loop, std::move(callbacks));
    if (auto r = session->open(m_context, deviceId); !r) {
        session->closeLocked();
        return unexpected(r.error());
    }
    return std::unique_ptr<AudioCaptureSession>(std::move(session));
}
