#include "MacLiveTranscriber.h"

#include "dictation/InputDevice.h"
#include "dictation/LevelMeter.h"
#include "platform/AudioCapture.h"
#include "platform/Bcp47.h"
#include "platform/SpeechEngine.h"

#include <QCoroFuture>
#include <QCoroSignal>
#include <QLocale>
#include <QPointer>
#include <QtConcurrent>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

// The recogniser runs on a thread of its own: it is far too slow for the capture thread.
// Results go back to the main thread for as long as the transcriber listens.
class MacLiveTranscriber::Session : public std::enable_shared_from_this<Session>
{
public:
    static constexpr size_t kLevelBlock = 800; // 50 ms: the recorder's meter rate

    Session(MacLiveTranscriber* receiver, std::shared_ptr<SpeechStream> stream)
        : m_receiver(receiver), m_stream(std::move(stream))
    {
        m_levelBlock.reserve(kLevelBlock);
    }

    void startWorker()
    {
        std::thread([self = shared_from_this()] { self->run(); }).detach();
    }

    // Capture thread.
    void take(std::span<const float> samples)
    {
        for (float x : samples) {
            m_levelBlock.push_back(x);
            if (m_levelBlock.size() == kLevelBlock) {
                const float level = LevelMeter::levelForDb(LevelMeter::averagePowerDb(m_levelBlock));
                m_levelBlock.clear();
                post([level](MacLiveTranscriber* t) { t->onLevel(level); });
            }
        }
        std::lock_guard lock(m_mutex);
        if (m_ended)
            return;
        m_queue.emplace_back(samples.begin(), samples.end());
        m_wake.notify_one();
    }

    void endAudio()
    {
        std::lock_guard lock(m_mutex);
        m_ended = true;
        m_wake.notify_one();
    }

    // No result reaches the transcriber afterwards; the worker winds down on its own.
    void detach()
    {
        std::lock_guard lock(m_mutex);
        m_receiver = nullptr;
        m_ended = true;
        m_queue.clear();
        m_wake.notify_one();
    }

private:
    template <class F>
    void post(F f)
    {
        std::lock_guard lock(m_mutex);
        if (MacLiveTranscriber* t = m_receiver)
            QMetaObject::invokeMethod(t, [t, f] { f(t); }, Qt::QueuedConnection);
    }

    void run()
    {
        QString shown;
        while (true) {
            std::deque<std::vector<float>> work;
            bool ended;
            {
                std::unique_lock lock(m_mutex);
                m_wake.wait(lock, [&] { return m_ended || !m_queue.empty(); });
                work.swap(m_queue);
                ended = m_ended;
                if (!m_receiver)
                    return;
            }
            for (const auto& block : work)
                m_stream->feed(block);
            if (ended) {
                const QString text = m_stream->finish();
                post([text](MacLiveTranscriber* t) { t->onFinal(text); });
                return;
            }
            const QString partial = m_stream->partialText();
            if (partial != shown) {
                shown = partial;
                post([partial](MacLiveTranscriber* t) { t->onText(partial); });
            }
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::vector<float>> m_queue;
    bool m_ended = false;
    MacLiveTranscriber* m_receiver;
    std::shared_ptr<SpeechStream> m_stream;
    std::vector<float> m_levelBlock; // capture thread only
};

MacLiveTranscriber::MacLiveTranscriber(AudioCapture& capture, SpeechEngine& engine, Settings& settings,
                                       std::chrono::milliseconds finalWait, QObject* parent)
    : QObject(parent), m_capture(capture), m_engine(engine), m_settings(settings), m_finalWait(finalWait)
{
    m_elapsedTimer.setInterval(1000);
    connect(&m_elapsedTimer, &QTimer::timeout, this, [this] { setElapsed(double(m_clock.nsecsElapsed()) / 1e9); });
}

MacLiveTranscriber::~MacLiveTranscriber()
{
    stopCapture();
    if (m_session)
        m_session->detach();
}

QCoro::Task<Expected<void, QString>> MacLiveTranscriber::start(QString language)
{
    if (m_running || m_starting)
        co_return {};
    // The desktop asks no permission for speech recognition: authorised from the start.
    const QString locale = Bcp47::match(m_engine.supportedLocales(),
                                        Bcp47::resolveAuto(language));
    if (locale.isEmpty())
        co_return unexpected(kRecognizerUnavailable);

    m_starting = true;
    QPointer<MacLiveTranscriber> self(this);
    SpeechEngine* engine = &m_engine;
    // Loading a model takes about half a second the first time.
    // A shared_ptr: QFuture copies its result.
    QFuture<Expected<std::shared_ptr<SpeechStream>, QString>> opening =
        QtConcurrent::run([engine, locale]() -> Expected<std::shared_ptr<SpeechStream>, QString> {
            auto s = engine->openStream(locale);
            if (!s)
                return unexpected(s.error());
            return std::shared_ptr<SpeechStream>(std::move(s.value()));
        });
    auto stream = co_await opening;
    if (!self)
        co_return unexpected(kRecognizerUnavailable);
    if (!stream) {
        m_starting = false;
        co_return unexpected(kRecognizerUnavailable);
    }

    auto session = std::make_shared<Session>(this, stream.value());
    AudioCapture::Callbacks callbacks;
    callbacks.samples = [session](std::span<const float> s) { session->take(s); };
    callbacks.ended = [session](const CaptureError&) { session->endAudio(); }; // keep what was heard
    // Asking the sound server for its devices and opening the stream block: off the main thread.
    AudioCapture* audio = &m_capture;
    const QString wanted = InputDevice::chosenInSettings(m_settings);
    QFuture<Expected<std::shared_ptr<AudioCaptureSession>, QString>> capturing =
        QtConcurrent::run([audio, wanted, callbacks]() -> Expected<std::shared_ptr<AudioCaptureSession>, QString> {
            const auto device = InputDevice::choose(*audio, wanted);
            if (!device)
                return unexpected(device.error().message);
            auto started = audio->start(device.value(), callbacks);
            if (!started)
                return unexpected(started.error().message);
            return std::shared_ptr<AudioCaptureSession>(std::move(started.value()));
        });
    auto capture = co_await capturing;
    if (!self) {
        session->detach();
        co_return unexpected(kRecognizerUnavailable);
    }
    m_starting = false;
    if (!capture) {
        session->detach();
        co_return unexpected(capture.error());
    }
    session->startWorker();
    m_session = session;
    m_captureSession = std::move(capture.value());
    m_levelStats = {};
    m_finalText.clear();
    m_finalReady = false;
    if (!m_partialText.isEmpty()) {
        m_partialText.clear();
        Q_EMIT partialTextChanged();
    }
    m_clock.start();
    setElapsed(0);
    setRunning(true);
    m_elapsedTimer.start();
    co_return {};
}

QCoro::Task<> MacLiveTranscriber::stop()
{
    if (!m_running || !m_session)
        co_return;
    setElapsed(double(m_clock.nsecsElapsed()) / 1e9);
    m_elapsedTimer.stop();
    stopCapture();
    std::shared_ptr<Session> session = m_session;
    QPointer<MacLiveTranscriber> self(this);
    session->endAudio();
    // Already there when the microphone went away before stop.
    if (!m_finalReady) {
        const std::optional<QString> text = co_await qCoro(this, &MacLiveTranscriber::finished, m_finalWait);
        if (!self)
            co_return;
        if (!text) {
            session->detach(); // too slow: keep the text heard so far
            m_finalText = m_partialText;
        }
    }
    m_session.reset();
    setRunning(false);
}

void MacLiveTranscriber::cancel()
{
    stopCapture();
    if (m_session)
        m_session->detach();
    m_session.reset();
    m_elapsedTimer.stop();
    m_finalText.clear();
    if (!m_partialText.isEmpty()) {
        m_partialText.clear();
        Q_EMIT partialTextChanged();
    }
    setRunning(false);
}

void MacLiveTranscriber::stopCapture()
{
    if (m_captureSession)
        m_captureSession->stop();
    m_captureSession.reset();
}

void MacLiveTranscriber::onLevel(float level)
{
    if (!m_running)
        return;
    if (level != m_currentLevel) {
        m_currentLevel = level;
        Q_EMIT currentLevelChanged();
    }
    m_levelStats.add(level);
}

void MacLiveTranscriber::onFinal(const QString& text)
{
    if (!m_running)
        return;
    m_finalReady = true;
    m_finalText = text;
    if (m_partialText != text) {
        m_partialText = text;
        Q_EMIT partialTextChanged();
    }
    Q_EMIT finished(text);
}

void MacLiveTranscriber::onText(const QString& text)
{
    if (!m_running || text == m_partialText)
        return;
    m_partialText = text;
    m_finalText = text;
    Q_EMIT partialTextChanged();
}

void MacLiveTranscriber::setElapsed(double seconds)
{
    if (seconds == m_elapsed)
        return;
    m_elapsed = seconds;
    Q_EMIT elapsedChanged();
}

void MacLiveTranscriber::setRunning(bool on)
{
    if (on == m_running)
        return;
    m_running = on;
    Q_EMIT isRunningChanged();
}
