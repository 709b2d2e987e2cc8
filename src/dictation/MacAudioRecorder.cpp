#include "MacAudioRecorder.h"

#include "audio/AacWriter.h"
#include "dictation/InputDevice.h"
#include "dictation/LevelMeter.h"
#include "platform/AudioCapture.h"

#include <QCoroFuture>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QUuid>
#include <QtConcurrent>
#include <array>
#include <mutex>

// What the capture thread and the main thread both touch.
struct MacAudioRecorder::Shared
{
    static constexpr size_t kWindow = kSampleRate / 20; // the meter's 50 ms

    std::mutex mutex;
    AacWriter writer;
    std::array<float, kWindow> window{};
    size_t windowPos = 0;
    size_t windowFilled = 0;
    bool failed = false; // nothing more is written once the capture or the disk failed

    // Capture thread.
    void take(std::span<const float> samples, MacAudioRecorder* recorder)
    {
        std::lock_guard lock(mutex);
        if (failed || !writer.isOpen())
            return;
        for (float x : samples) {
            window[windowPos] = x;
            windowPos = (windowPos + 1) % kWindow;
        }
        windowFilled = std::min(kWindow, windowFilled + samples.size());
        if (auto r = writer.write(samples); !r) {
            failed = true;
            QMetaObject::invokeMethod(recorder, [recorder, m = r.error().message] { recorder->onCaptureEnded(m); },
                                      Qt::QueuedConnection);
        }
    }
};

MacAudioRecorder::MacAudioRecorder(AudioCapture& capture, Settings& settings, QString folder, QObject* parent)
    : QObject(parent), m_capture(capture), m_settings(settings),
      m_folder(folder.isEmpty() ? QDir::tempPath() : std::move(folder))
{
    m_elapsedTimer.setInterval(1000);
    m_levelTimer.setInterval(50);
    connect(&m_elapsedTimer, &QTimer::timeout, this, [this] { setElapsed(double(m_clock.nsecsElapsed()) / 1e9); });
    connect(&m_levelTimer, &QTimer::timeout, this, &MacAudioRecorder::meterTick);
}

MacAudioRecorder::~MacAudioRecorder()
{
    if (m_session)
        m_session->stop();
}

QCoro::Task<bool> MacAudioRecorder::requestPermission()
{
    AudioCapture* capture = &m_capture;
    QFuture<bool> probe = QtConcurrent::run([capture] { return capture->canRecord(); });
    const bool ok = co_await probe;
    co_return ok;
}

Expected<void, QString> MacAudioRecorder::start()
{
    if (m_recording)
        return unexpected(kNoRecording);
    const auto device = InputDevice::choose(m_capture, m_settings);
    if (!device)
        return unexpected(device.error());

    auto shared = std::make_shared<Shared>();
    const QString file =
        QDir(m_folder).filePath(QStringLiteral("ovra-mac-") + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper() +
                                QStringLiteral(".m4a"));
    if (auto r = shared->writer.open(file, kSampleRate, kBitRate); !r) {
        QFile::remove(file);
        return unexpected(r.error().message);
    }
    // The writer is open before the capture starts, so the first samples land in the file.
    AudioCapture::Callbacks callbacks;
    callbacks.samples = [shared, self = this](std::span<const float> s) { shared->take(s, self); };
    callbacks.ended = [self = this](const CaptureError& e) {
        QMetaObject::invokeMethod(self, [self, m = e.message] { self->onCaptureEnded(m); }, Qt::QueuedConnection);
    };
    auto session = m_capture.start(device.value(), std::move(callbacks));
    if (!session) {
        (void)shared->writer.finish();
        QFile::remove(file);
        return unexpected(session.error().message);
    }
    m_session = std::move(session.value());
    m_shared = std::move(shared);
    m_levelStats = {};
    m_interruption.clear();
    m_clock.start();
    if (m_lastRecording != file) {
        m_lastRecording = file;
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
    if (!m_shared)
        return;
    double db;
    {
        std::lock_guard lock(m_shared->mutex);
        if (m_shared->windowFilled == 0)
            return;
        db = LevelMeter::averagePowerDb(std::span<const float>(m_shared->window.data(), m_shared->windowFilled));
    }
    const float level = LevelMeter::levelForDb(db);
    if (level != m_currentLevel) {
        m_currentLevel = level;
        Q_EMIT currentLevelChanged();
    }
    m_levelStats.add(level);
}

void MacAudioRecorder::onCaptureEnded(const QString& message)
{
    if (!m_recording || !m_interruption.isEmpty())
        return;
    m_interruption = message;
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->failed = true;
    }
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
    std::shared_ptr<AudioCaptureSession> session = std::move(m_session);
    std::shared_ptr<Shared> shared = std::move(m_shared);
    const QString file = m_lastRecording;
    const bool interrupted = !m_interruption.isEmpty();
    // Stopping the stream and writing the file index both block; keep them off this thread.
    QFuture<qint64> closing = QtConcurrent::run([session, shared]() -> qint64 {
        session->stop();
        std::lock_guard lock(shared->mutex);
        const qint64 samples = shared->writer.samplesWritten();
        return shared->writer.finish() ? samples : -1;
    });
    const qint64 samples = co_await closing;
    if (samples < 0 || (interrupted && samples < qint64(kMinimumKeptSeconds * kSampleRate))) {
        QFile::remove(file);
        co_return std::nullopt;
    }
    if (interrupted && self)
        self->setElapsed(double(samples) / kSampleRate);
    co_return file;
}

void MacAudioRecorder::cancel()
{
    if (m_session)
        m_session->stop();
    m_session.reset();
    if (m_shared) {
        std::lock_guard lock(m_shared->mutex);
        if (m_shared->writer.isOpen())
            (void)m_shared->writer.finish();
    }
    m_shared.reset();
    m_elapsedTimer.stop();
    m_levelTimer.stop();
    if (!m_lastRecording.isEmpty()) {
        QFile::remove(m_lastRecording);
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
