#pragma once
// Shrinks recordings over 8 MiB before a cloud upload: re-encoded off the main thread to AAC
// 16 kHz mono 32 kbit/s in a temporary M4A. Never fails: on any problem the recording goes as it is.
#include <QCoroTask>
#include <QString>
#include <functional>

class DebugLog;

class UploadCompressor
{
public:
    static constexpr qint64 kThresholdBytes = 8 * 1024 * 1024; // sent as they are up to this size
    static constexpr int kSampleRate = 16000;
    static constexpr int kBitRate = 32000;

    // transcode(input, output) → error message or empty; the FFmpeg transcoder by default.
    using Transcoder = std::function<QString(const QString& input, const QString& output)>;

    explicit UploadCompressor(DebugLog& log, QString tempFolder = {}, Transcoder transcoder = {});

    // The file to send: `file` itself, or a new temporary M4A that the caller deletes.
    QCoro::Task<QString> compressForUploadIfBeneficial(QString file);

private:
    DebugLog& m_log;
    QString m_tempFolder;
    Transcoder m_transcoder;
};
