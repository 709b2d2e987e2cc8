#include "AacWriter.h"

#include "AudioCodecs.h"

AacWriter::AacWriter() = default;
AacWriter::~AacWriter() = default;

Expected<void, AudioError> AacWriter::open(const QString& path, int sampleRate, int bitRate, AudioFormat format)
{
    m_encoder.reset();
    auto codecs = AudioCodecs::load();
    if (!codecs)
        return unexpected(codecs.error());
    auto encoder = (*codecs)->encoder();
    if (auto r = encoder->open(path, sampleRate, bitRate, format); !r)
        return r;
    m_encoder = std::move(encoder);
    return {};
}

Expected<void, AudioError> AacWriter::write(std::span<const float> samples)
{
    if (!m_encoder)
        return unexpected(AudioError{QStringLiteral("Écriture audio impossible : fichier non ouvert.")});
    return m_encoder->write(samples);
}

Expected<void, AudioError> AacWriter::finish()
{
    if (!m_encoder)
        return unexpected(AudioError{QStringLiteral("Écriture audio impossible : fichier non ouvert.")});
    auto done = m_encoder->finish();
    m_encoder.reset();
    return done;
}

bool AacWriter::isOpen() const
{
    return m_encoder && m_encoder->isOpen();
}

qint64 AacWriter::samplesWritten() const
{
    return m_encoder ? m_encoder->samplesWritten() : 0;
}

QString AacWriter::path() const
{
    return m_encoder ? m_encoder->path() : QString();
}
