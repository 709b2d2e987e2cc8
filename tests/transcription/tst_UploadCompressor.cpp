// Upload compression with the real FFmpeg transcoder: the 8 MiB threshold, the AAC 16 kHz mono
// copy, its log lines, failures falling back to the recording, and the copy removed after the
// request.
#include "audio/AudioFile.h"
#include "fakes/WavHeader.h"
#include "fakes/AwaitTask.h"
#include "fakes/FakeTranscriptionServices.h"
#include "fakes/LocalHttpServer.h"
#include "ai/UsageTracker.h"
#include "store/DebugLog.h"
#include "store/Settings.h"
#include "transcription/TranscriptionManager.h"
#include "transcription/UploadCompressor.h"

#include <QDataStream>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>
#include <QtMath>

using namespace std::chrono_literals;

namespace {

// A 16-bit PCM WAV of exactly totalBytes bytes (44-byte header), a 440 Hz tone.
QString writeWav(const QString& path, qint64 totalBytes, int rate = 44100, int channels = 2)
{
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    const quint32 dataBytes = quint32(totalBytes - 44);
    f.write(wavHeader(dataBytes, rate, channels));
    QByteArray block;
    QDataStream b(&block, QIODevice::WriteOnly);
    b.setByteOrder(QDataStream::LittleEndian);
    qint64 written = 0;
    for (qint64 i = 0; written < dataBytes; ++i) {
        const qint16 v = qint16(6000 * qSin(2 * M_PI * 440 * double(i) / rate));
        for (int c = 0; c < channels && written < dataBytes; ++c, written += 2)
            b << v;
        if (block.size() > (1 << 20)) {
            f.write(block);
            block.clear();
            b.device()->seek(0);
        }
    }
    f.write(block);
    f.resize(totalBytes);
    return path;
}

QStringList uploads(const QString& folder)
{
    return QDir(folder).entryList({"ovra-upload-*"}, QDir::Files);
}

} // namespace

class TestUploadCompressor : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void threshold()
    {
        QTemporaryDir dir;
        DebugLog log(dir.filePath("data"));
        UploadCompressor compressor(log, dir.path());
        const QString exact = writeWav(dir.filePath("exact.wav"), UploadCompressor::kThresholdBytes);
        QCOMPARE(QFileInfo(exact).size(), 8388608);
        QCOMPARE(awaitTask(compressor.compressForUploadIfBeneficial(exact)), exact);
        QVERIFY(uploads(dir.path()).isEmpty());

        const QString over = writeWav(dir.filePath("over.wav"), UploadCompressor::kThresholdBytes + 1);
        const QString sent = awaitTask(compressor.compressForUploadIfBeneficial(over));
        QVERIFY(sent != over);
        QCOMPARE(QFileInfo(sent).dir().path(), dir.path());
        QVERIFY(QFileInfo(sent).fileName().startsWith("ovra-upload-"));
        QVERIFY(sent.endsWith(".m4a"));
        QVERIFY(QFileInfo(sent).size() < 1024 * 1024);
        const double inSeconds = (8388609.0 - 44) / (44100 * 4);
        const auto outSeconds = AudioFile::duration(sent);
        QVERIFY(outSeconds.hasValue());
        QVERIFY2(qAbs(outSeconds.value() - inSeconds) < 0.2, qPrintable(QString::number(outSeconds.value())));
        QVERIFY(log.contents().contains("[FLOW] UPLOAD compressé : 8 Mo → m4a AAC 16 kHz mono"));
        QVERIFY(QFile::exists(over));
    }

    void failureSendsTheRecording()
    {
        QTemporaryDir dir;
        DebugLog log(dir.filePath("data"));
        UploadCompressor compressor(log, dir.path());
        QFile junk(dir.filePath("junk.m4a"));
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write(QByteArray(9 * 1024 * 1024, 'x'));
        junk.close();
        QCOMPARE(awaitTask(compressor.compressForUploadIfBeneficial(junk.fileName())), junk.fileName());
        QVERIFY(log.contents().contains("[FLOW] UPLOAD compression échouée (fichier original envoyé) : "));
        QVERIFY(uploads(dir.path()).isEmpty());
    }

    void largeWavGoesToGeminiAsMp4AndTheCopyIsRemoved()
    {
        QTemporaryDir dir;
        LocalHttpServer server;
        APINetworkClient network(APINetworkClient::Config{{2000ms, 10000ms}, {2000ms, 10000ms}});
        CloudTranscriber cloud(network, [](KeychainKey) { return std::optional<QString>("AIza"); },
                               ServiceHosts{server.url(), server.url(), server.url(), server.url()});
        DebugLog log(dir.filePath("data"));
        UploadCompressor compressor(log, dir.path());
        FakeTrimmer trimmer;
        FakeSystemRecognizer apple;
        FakeLocalModels local;
        FakeNetworkPathMonitor monitor;
        UsageTracker usage;
        Settings settings(dir.filePath("config"));
        TranscriptionManager manager({cloud, compressor, trimmer, apple, local, monitor, usage, settings, log});
        const QString wav = writeWav(dir.filePath("long.wav"), 9 * 1024 * 1024);

        for (int status : {200, 500}) {
            server.enqueue(LocalHttpServer::Reply::json(status, R"({"candidates":[{"content":{"parts":[{"text":"ok"}]}}]})"));
            const auto text = awaitTask(manager.transcribe(wav, TranscriptionProvider::gemini, "gemini-2.5-flash", "fr"));
            QCOMPARE(text.value(), status == 200 ? QString("ok") : QString("texte Apple"));
            const QJsonObject part = QJsonDocument::fromJson(server.requests.last().body)
                                         .object()["contents"].toArray()[0].toObject()["parts"].toArray()[1].toObject();
            QCOMPARE(part["inline_data"].toObject()["mime_type"].toString(), QString("audio/mp4"));
            QVERIFY(uploads(dir.path()).isEmpty());
            QVERIFY(QFile::exists(wav));
            if (status == 200) {
                // The cost counts the recording's length.
                const double seconds = (9.0 * 1024 * 1024 - 44) / (44100 * 4);
                QVERIFY(qAbs(*manager.lastCostUSD() - seconds / 60 * 0.002) < 1e-5);
            } else {
                QVERIFY(!manager.lastCostUSD().has_value());
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestUploadCompressor)
#include "tst_UploadCompressor.moc"
