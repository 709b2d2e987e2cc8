#include "UploadCompressor.h"

#include "audio/AudioFile.h"
#include "store/DebugLog.h"

#include <QCoroFuture>
#include <QDir>
#include <QFileInfo>
#include <QUuid>
#include <QtConcurrent/QtConcurrentRun>

UploadCompressor::UploadCompressor(DebugLog& log, QString tempFolder, Transcoder transcoder)
    : m_log(log), m_tempFolder(tempFolder.isEmpty() ? QDir::tempPath() : std::move(tempFolder)),
      m_transcoder(std::move(transcoder))
{
    if (!m_transcoder)
        m_transcoder = [](const QString& input, const QString& output) {
            const auto done = AudioFile::transcodeToAac(input, output, kSampleRate, kBitRate);
            return done ? QString() : done.error().message;
        };
}

QCoro::Task<QString> UploadCompressor::compressForUploadIfBeneficial(QString file)
{
    const QFileInfo info(file);
    const qint64 size = info.exists() ? info.size() : 0;
    if (size <= kThresholdBytes)
        co_return file;

    const QString output = QDir(m_tempFolder).filePath(QStringLiteral("ovra-upload-") +
                                                       QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper() +
                                                       QStringLiteral(".m4a"));
    // A named future: GCC 12 destroys lambda captures inside a co_await expression twice.
    QFuture<QString> job = QtConcurrent::run([transcoder = m_transcoder, file, output] { return transcoder(file, output); });
    const QString error = co_await job;
    // m_log belongs to the composition root, which outlives every transcription.
    if (!error.isEmpty()) {
        QFile::remove(output);
        m_log.log(QStringLiteral("UPLOAD compression échouée (fichier original envoyé) : ") + error,
                  QStringLiteral("FLOW"));
        co_return file;
    }
    m_log.log(QStringLiteral("UPLOAD compressé : ") + QString::number(size / 1048576) +
                  QStringLiteral(" Mo → m4a AAC 16 kHz mono"),
              QStringLiteral("FLOW"));
    co_return output;
}
