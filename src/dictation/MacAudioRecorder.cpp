#include "MacAudioRecorder.h"

#include "audio/AacFileOutput.h"
#include "dictation/InputDevice.h"
#include "dictation/LevelMeter.h"
#include "dictation/RecordingFolder.h"
#include "platform/AudioCapture.h"

#include <QCoroFuture>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QUuid>
#include <QtConcurrent>
#include <atomic>
#include <mutex>

// Lets capture and encoder threads reach the recorder while it exists, and never after.
struct MacAudioRecorder::Link
{
    std::mutex mutex;
    MacAudioRecorder* recorder = nullptr;

    void ended(quint64 take, const QString& message)
    {
        std::lock_guard lock(mutex);
        if (recorder)
            QMetaObject::invokeMethod(
                recorder, [r = recorder, take, message] { r->onCaptureEnded(take, message); }, Qt::QueuedConnection);
    }
};

// One recording: the capture feeding the meter window and the file output.
struct MacAudioRecorder::Take
{
    struct Feed
    {
        explicit Feed(const QString& file) : output(file, kSampleRate, kBitRate) {}
        AacFileOutput output;
        LevelMeter::Window level;
        std::atomic<bool> ended{false}; // the capture said it ended: later samples do not count
    };

    quint64 id = 0;
    QString file;
    std::shared_ptr<Feed> feed;
    std::unique_ptr<AudioCaptureSession> session;
    bool keepFile = false;

    // Blocking (sound server, encoder thread): run off the main thread.
    Expected<qint64, AudioError> close()
    {
        if (session)
            session->stop();
        session.reset();
        if (!feed)
            return unexpected(AudioError{kNoRecording});
        auto written = keepFile ? feed->output.finish() : (feed->output.discard(), Expected<qint64, AudioError>(0));
        feed.reset();
        return written;
    }
    ~Take() { (void)close(); }
};

MacAudioRecorder::MacAudioRecorder(AudioCapture& capture, Settings& settings, QString folder, QObject* parent)
    : QObject(parent), m_capture(capture), m_settings(settings),
      m_folder(folder.isEmpty() ? RecordingFolder::inProgress() : std::move(folder)), m_link(std::make_shared<Link>())
{
    m_link->recorder = this;
    m_workers.setMaxThreadCount(2);
    m_workers.setExpiryTimeout(-1); // warm threads: no thread start on the way to the first sample
    m_elapsedTimer.setInterval(1000);
    m_levelTimer.setInterval(50);
    m_preparedExpiry.setSingleShot(true);
    m_preparedExpiry.setInterval(kPreparedCaptureMs);
    connect(&m_elapsedTimer, &QTimer::timeout, this, [this] { setElapsed(double(m_clock.nsecsElapsed()) / 1e9); });
    connect(&m_levelTimer, &QTimer::timeout, this, &MacAudioRecorder::meterTick);
    connect(&m_preparedExpiry, &QTimer::timeout, this, &MacAudioRecorder::dropPrepared);
}

MacAudioRecorder::~MacAudioRecorder()
{
    {
        std::lock_guard lock(m_link->mutex);
        m_link->recorder = nullptr;
    }
    m_workers.waitForDone();
    m_prepared.reset();
    // Whatever was being recorded is completed and left in place rather than lost.
    if (m_take)
        m_take->keepFile = true;
    m_take.reset();
}

void MacAudioRecorder::prewarm()
{
    AudioCapture* capture = &m_capture;
    (void)QtConcurrent::run(&m_workers, [capture] { (void)capture->devices(); });
}

// Worker thread.
MacAudioRecorder::Prepared MacAudioRecorder::prepare(AudioCapture& capture, const QString& wantedDevice,
                                                     const QString& folder, std::shared_ptr<Link> link, quint64 id)
{
    const auto device = InputDevice::choose(capture, wantedDevice);
    if (!device)
        return unexpected(device.error());
    if (auto ready = RecordingFolder::ensure(folder); !ready)
        return unexpected(CaptureError{ready.error()});

    auto take = std::make_shared<Take>();
    take->id = id;
    take->file = QDir(folder).filePath(QStringLiteral("ovra-mac-") +
                                       QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper() +
                                       QStringLiteral(".m4a"));
    take->feed = std::make_shared<Take::Feed>(take->file);
    AudioCapture::Callbacks callbacks;
    callbacks.samples = [feed = take->feed](std::span<const float> s) {
        if (feed->ended.load(std::memory_order_relaxed))
            return;
        feed->level.add(s);
        feed->output.push(s);
    };
    callbacks.ended = [feed = take->feed, link, id](const CaptureError& e) {
        feed->ended = true;
        link->ended(id, e.message);
    };
    auto session = capture.start(device.value(), std::move(callbacks));
    if (!session)
        return unexpected(session.error());
    take->session = std::move(session.value());
    // Capture runs from here; the file is opened on the output's thread, the first samples
    // wait in memory meanwhile.
    take->feed->output.start([link, id](const AudioError& e) { link->ended(id, e.message); });
    return take;
}

QCoro::Task<bool> MacAudioRecorder::requestPermission()
{
    QPointer<MacAudioRecorder> self(this);
    dropPrepared();
    const quint64 id = ++m_nextId;
    AudioCapture* capture = &m_capture;
    QFuture<Prepared> preparing =
        QtConcurrent::run(&m_workers, [capture, wanted = InputDevice::chosenInSettings(m_settings), folder = m_folder,
                                       link = m_link, id] { return prepare(*capture, wanted, folder, link, id); });
    Prepared prepared = co_await preparing;
    if (!self) {
        if (prepared)
            (void)prepared.value()->close();
        co_return false;
    }
    const bool refused = !prepared && prepared.error().kind == CaptureError::Kind::accessDenied;
    if (id != m_nextId || m_recording) {
        // Superseded by a later request or a start() that did not wait for this one.
        if (prepared)
            retire(prepared.value(), false);
        co_return !refused;
    }
    if (refused)
        co_return false;
    m_prepared = std::make_unique<Prepared>(std::move(prepared));
    m_preparedExpiry.start();
    co_return true;
}

void MacAudioRecorder::dropPrepared()
{
    m_preparedExpiry.stop();
    if (m_prepared && m_prepared->hasValue())
        retire(m_prepared->value(), false);
    m_prepared.reset();
}

void MacAudioRecorder::retire(std::shared_ptr<Take> take, bool keepFile)
{
    take->keepFile = keepFile;
    (void)QtConcurrent::run(&m_workers, [take = std::move(take)]() mutable { (void)take->close(); });
}

Expected<void, QString> MacAudioRecorder::start()
{
    if (m_recording)
        return unexpected(kNoRecording);
    m_preparedExpiry.stop();
    Prepared prepared = m_prepared ? std::move(*m_prepared) : Prepared(unexpected(CaptureError{}));
    const bool wasPrepared = m_prepared != nullptr;
    m_prepared.reset();
    if (!wasPrepared) {
        // Nobody asked for the microphone first: open the capture here, waiting for it.
        prepared = prepare(m_capture, InputDevice::chosenInSettings(m_settings), m_folder, m_link, ++m_nextId);
    } else {
        ++m_nextId; // a request still under way no longer counts
    }
    if (!prepared) {
        const CaptureError& e = prepared.error();
        return unexpected(e.kind == CaptureError::Kind::noDevice || e.message.isEmpty() ? kNoRecording : e.message);
    }
    m_take = std::move(prepared.value());
    m_levelStats = {};
    m_interruption.clear();
    m_clock.start();
    if (m_lastRecording != m_take->file) {
        m_lastRecording = m_take->file;
        Q_EMIT lastRecordingURLChanged();
    }
    setElapsed(0);
    setRecording(true);
    m_elapsedTimer.start();
    m_levelTimer.start();
    return {};
}

void MacAudioRecorder::meterTick()
{
    if (!m_take)
        return;
    const std::optional<double> db = m_take->feed->level.powerDb();
    if (!db)
        return;
    const float level = LevelMeter::levelForDb(*db);
    if (level != m_currentLevel) {
        m_currentLevel = level;
        Q_EMIT currentLevelChanged();
    }
    m_levelStats.add(level);
}

void MacAudioRecorder::onCaptureEnded(quint64 take, const QString& message)
{
    if (!m_recording || !m_take || m_take->id != take || !m_interruption.isEmpty())
        return;
    m_interruption = message;
    m_levelTimer.stop();
    Q_EMIT interrupted(message);
}

QCoro::Task<std::optional<QString>> MacAudioRecorder::stop()
{
    if (!m_recording)
        co_return std::nullopt;
    setElapsed(double(m_clock.nsecsElapsed()) / 1e9);
    m_elapsedTimer.stop();
    m_levelTimer.stop();
    setRecording(false);

    QPointer<MacAudioRecorder> self(this);
    std::shared_ptr<Take> take = std::move(m_take);
    take->keepFile = true;
    const QString file = take->file;
    const bool interrupted = !m_interruption.isEmpty();
    QFuture<Expected<qint64, AudioError>> closing = QtConcurrent::run(&m_workers, [take] { return take->close(); });
    const Expected<qint64, AudioError> samples = co_await closing;
    if (!samples || (interrupted && *samples < qint64(kMinimumKeptSeconds * kSampleRate))) {
        QFile::remove(file);
        co_return std::nullopt;
    }
    if (interrupted && self)
        self->setElapsed(double(*samples) / kSampleRate);
    co_return file;
}

void MacAudioRecorder::cancel()
{
    // Only a recording in progress: a finished one belongs to whoever stopped it.
    if (!m_recording)
        return;
    m_elapsedTimer.stop();
    m_levelTimer.stop();
    retire(std::move(m_take), false);
    m_take.reset();
    if (!m_lastRecording.isEmpty()) {
        m_lastRecording.clear();
        Q_EMIT lastRecordingURLChanged();
    }
    setElapsed(0);
    setRecording(false);
}

void MacAudioRecorder::setElapsed(double seconds)
{
    if (seconds == m_elapsed)
        return;
    m_elapsed = seconds;
    Q_EMIT elapsedChanged();
}

void MacAudioRecorder::setRecording(bool on)
{
    if (on == m_recording)
        return;
    m_recording = on;
    Q_EMIT isRecordingChanged();
}
