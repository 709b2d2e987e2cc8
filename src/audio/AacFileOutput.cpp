#include "AacFileOutput.h"

#include "AacWriter.h"

#include <QFile>

AacFileOutput::AacFileOutput(QString path, int sampleRate, int bitRate)
    : m_path(std::move(path)), m_sampleRate(sampleRate), m_bitRate(bitRate)
{
}

AacFileOutput::~AacFileOutput()
{
    if (!m_closed)
        discard();
}

void AacFileOutput::push(std::span<const float> samples)
{
    if (samples.empty() || m_dead.load(std::memory_order_relaxed))
        return;
    {
        std::lock_guard lock(m_mutex);
        m_pending.insert(m_pending.end(), samples.begin(), samples.end());
    }
    m_wake.notify_one();
}

void AacFileOutput::start(std::function<void(const AudioError&)> failed)
{
    if (m_started || m_closed)
        return;
    m_failed = std::move(failed);
    m_started = true;
    m_thread = std::thread([this] { run(); });
}

void AacFileOutput::run()
{
    AacWriter writer;
    std::optional<AudioError> error;
    if (auto r = writer.open(m_path, m_sampleRate, m_bitRate); !r)
        error = r.error();
    if (error) {
        m_dead = true;
        if (m_failed)
            m_failed(*error);
    }
    std::vector<float> batch;
    while (true) {
        bool closing;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return !m_pending.empty() || m_closing; });
            batch.swap(m_pending);
            closing = m_closing;
        }
        if (!error && !batch.empty()) {
            if (auto r = writer.write(batch); !r) {
                error = r.error();
                m_dead = true;
                if (m_failed)
                    m_failed(*error);
            }
        }
        batch.clear();
        if (closing) {
            std::lock_guard lock(m_mutex);
            if (m_pending.empty())
                break;
        }
    }
    if (!error) {
        const qint64 written = writer.samplesWritten();
        if (auto r = writer.finish(); !r)
            error = r.error();
        else
            m_result = written;
    }
    if (error)
        m_result = unexpected(*error);
}

void AacFileOutput::close(bool keep)
{
    if (m_closed)
        return;
    m_closed = true;
    m_dead = true;
    if (m_started) {
        {
            std::lock_guard lock(m_mutex);
            m_closing = true;
            if (!keep)
                m_pending.clear();
        }
        m_wake.notify_one();
        m_thread.join();
    }
    if (!keep || !m_result || !m_result->hasValue())
        QFile::remove(m_path);
}

Expected<qint64, AudioError> AacFileOutput::finish()
{
    if (!m_started) {
        close(false);
        return unexpected(AudioError{QStringLiteral("Écriture audio impossible : fichier non ouvert.")});
    }
    close(true);
    return m_result ? *m_result : unexpected(AudioError{QStringLiteral("Écriture audio impossible.")});
}

void AacFileOutput::discard()
{
    close(false);
}
