#include "StreamedBody.h"

#include <QFileInfo>

QString unreadableAudioMessage(const QString& path, const QString& reason)
{
    return QStringLiteral("Impossible de lire le fichier audio « ") + QFileInfo(path).fileName() +
           QStringLiteral(" » : ") + reason;
}

StreamedBody::StreamedBody() { open(QIODevice::ReadOnly | QIODevice::Unbuffered); }

StreamedBody::~StreamedBody() = default;

void StreamedBody::appendBytes(const QByteArray& bytes)
{
    Segment s;
    s.kind = Segment::Kind::bytes;
    s.bytes = bytes;
    s.start = m_size;
    s.length = bytes.size();
    m_size += s.length;
    m_segments.push_back(std::move(s));
}

Expected<void, QString> StreamedBody::appendFile(const QString& path)
{
    return appendFileSegment(path, Segment::Kind::file);
}

Expected<void, QString> StreamedBody::appendFileBase64(const QString& path)
{
    return appendFileSegment(path, Segment::Kind::base64);
}

Expected<void, QString> StreamedBody::appendFileSegment(const QString& path, Segment::Kind kind)
{
    auto file = std::make_unique<QFile>(path);
    if (QFileInfo(path).isDir())
        return unexpected(unreadableAudioMessage(path, QStringLiteral("c’est un dossier")));
    if (!file->open(QIODevice::ReadOnly))
        return unexpected(unreadableAudioMessage(path, file->errorString()));
    Segment s;
    s.kind = kind;
    const qint64 raw = file->size();
    s.length = kind == Segment::Kind::file ? raw : (raw + 2) / 3 * 4;
    s.file = std::move(file);
    s.start = m_size;
    m_size += s.length;
    m_segments.push_back(std::move(s));
    return {};
}

bool StreamedBody::seek(qint64 pos)
{
    if (pos < 0 || pos > m_size)
        return false;
    QIODevice::seek(pos);
    m_pos = pos;
    return true;
}

qint64 StreamedBody::readData(char* data, qint64 maxSize)
{
    qint64 done = 0;
    while (done < maxSize && m_pos < m_size) {
        auto it = std::find_if(m_segments.begin(), m_segments.end(),
                               [&](const Segment& s) { return m_pos >= s.start && m_pos < s.start + s.length; });
        if (it == m_segments.end())
            break;
        const qint64 n = readSegment(*it, m_pos - it->start, data + done, maxSize - done);
        if (n <= 0)
            return done > 0 ? done : -1;
        done += n;
        m_pos += n;
    }
    return done;
}

qint64 StreamedBody::readSegment(Segment& s, qint64 offset, char* data, qint64 maxSize)
{
    const qint64 want = std::min(maxSize, s.length - offset);
    switch (s.kind) {
    case Segment::Kind::bytes:
        memcpy(data, s.bytes.constData() + offset, size_t(want));
        return want;
    case Segment::Kind::file:
        if (!s.file->seek(offset))
            return -1;
        return s.file->read(data, want);
    case Segment::Kind::base64: {
        // Every 3 input bytes give 4 output characters: encode whole groups around the range.
        const qint64 firstGroup = offset / 4;
        const qint64 skip = offset % 4;
        const qint64 groups = std::min<qint64>((skip + want + 3) / 4, 16384);
        if (!s.file->seek(firstGroup * 3))
            return -1;
        const QByteArray input = s.file->read(groups * 3);
        if (input.isEmpty())
            return -1;
        const QByteArray encoded = input.toBase64();
        const qint64 n = std::min(want, qint64(encoded.size()) - skip);
        memcpy(data, encoded.constData() + skip, size_t(n));
        return n;
    }
    }
    return -1;
}
