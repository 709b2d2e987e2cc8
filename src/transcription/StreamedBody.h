#pragma once
// A request body assembled from byte blocks and files, read as the upload goes so that a
// recording is never held in memory whole. A file can also be inserted Base64-encoded.
// Random access, so the network stack can rewind it.
#include "store/Expected.h"

#include <QFile>
#include <QIODevice>
#include <memory>
#include <vector>

class StreamedBody : public QIODevice
{
public:
    StreamedBody();
    ~StreamedBody() override;

    void appendBytes(const QByteArray& bytes);
    // Opens the file now; the error is the file's own message.
    Expected<void, QString> appendFile(const QString& path);
    Expected<void, QString> appendFileBase64(const QString& path);

    bool isSequential() const override { return false; }
    qint64 size() const override { return m_size; }
    bool seek(qint64 pos) override;

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    struct Segment
    {
        enum class Kind { bytes, file, base64 };
        Kind kind = Kind::bytes;
        QByteArray bytes;
        std::unique_ptr<QFile> file;
        qint64 start = 0; // offset of the segment in the body
        qint64 length = 0; // bytes it contributes
    };
    Expected<void, QString> appendFileSegment(const QString& path, Segment::Kind kind);
    qint64 readSegment(Segment& s, qint64 offset, char* data, qint64 maxSize);

    std::vector<Segment> m_segments;
    qint64 m_size = 0;
    qint64 m_pos = 0;
};

// "Impossible de lire le fichier audio « … » : " + the system's reason.
QString unreadableAudioMessage(const QString& path, const QString& reason);
