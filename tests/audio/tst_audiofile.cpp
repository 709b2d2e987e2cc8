#include "audio/AacWriter.h"
#include "audio/AudioFile.h"
#include "audio/AudioFixtures.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace AudioFixtures;

class TestAudioFile : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }

private Q_SLOTS:
    void writerRoundTrip();
    void writerKeepsFirstSamples();
    void writerReachesTheDiskWhileWriting();
    void decodesOtherFormats_data();
    void decodesOtherFormats();
    void transcodeMakesSmallMonoAac();
    void transcodeWritesTheFormatTheNameAsks_data();
    void transcodeWritesTheFormatTheNameAsks();
    void badFiles_data();
    void badFiles();
    void transcodeFailureLeavesNoOutput();
    void copyAacRangesOnlyTakesAac();
};

// What goes into the writer comes back out at the same length and loudness.
void TestAudioFile::writerRoundTrip()
{
    auto signal = sine(1.5, 440.0, 0.5f);
    AacWriter writer;
    QVERIFY(writer.open(path("round.m4a"), 16000, 40000));
    // Odd block sizes: the writer regroups them into encoder frames.
    size_t at = 0;
    for (size_t block : {1u, 999u, 4096u, 333u}) {
        while (at < signal.size()) {
            const size_t n = std::min(block, signal.size() - at);
            QVERIFY(writer.write(std::span<const float>(signal.data() + at, n)));
            at += n;
            if (block != 4096u)
                break;
        }
    }
    QVERIFY(writer.write(std::span<const float>(signal.data() + at, signal.size() - at)));
    QCOMPARE(writer.samplesWritten(), qint64(signal.size()));
    QVERIFY(writer.finish());
    QVERIFY(!writer.isOpen());

    auto decoded = AudioFile::decodeMono16k(path("round.m4a"));
    OVRA_VERIFY_OK(decoded);
    QVERIFY2(std::abs(double(decoded->size()) - double(signal.size())) <= 1024,
             qPrintable(QString::number(decoded->size())));
    const double r = rms(decoded->data() + 2000, 16000);
    QVERIFY2(std::abs(r - 0.3536) < 0.04, qPrintable(QString::number(r)));

    auto seconds = AudioFile::duration(path("round.m4a"));
    OVRA_VERIFY_OK(seconds);
    QVERIFY2(std::abs(*seconds - 1.5) < 0.07, qPrintable(QString::number(*seconds)));
}

// A tone that starts on the first sample is audible from the first frame on: no clipped start.
void TestAudioFile::writerKeepsFirstSamples()
{
    auto signal = sine(0.3, 300.0, 0.5f);
    append(signal, silence(0.5));
    AacWriter writer;
    QVERIFY(writer.open(path("start.m4a"), 16000, 40000));
    QVERIFY(writer.write(signal));
    QVERIFY(writer.finish());
    auto decoded = AudioFile::decodeMono16k(path("start.m4a"));
    QVERIFY(decoded);
    QVERIFY2(rms(decoded->data() + 160, 800) > 0.25, "the first 50 ms are missing");
    QVERIFY(rms(decoded->data() + 6400, 4800) < 0.02);
}

// FFmpeg would hold about a minute of audio in memory; a crash or a full disk must not wait for that.
void TestAudioFile::writerReachesTheDiskWhileWriting()
{
    AacWriter writer;
    QVERIFY(writer.open(path("live.m4a"), 16000, 40000));
    QVERIFY(writer.write(noise(3.0, 0.3f)));
    const qint64 size = QFileInfo(path("live.m4a")).size();
    QVERIFY2(size > 4096, qPrintable(QString::number(size)));
    QVERIFY(writer.finish());
}

void TestAudioFile::decodesOtherFormats_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("channels");
    QTest::addColumn<QString>("soxTarget"); // converted from the WAV by sox when set
    QTest::newRow("wav 16k mono") << "a.wav" << 16000 << 1 << "";
    QTest::newRow("wav 44.1k stereo") << "b.wav" << 44100 << 2 << "";
    QTest::newRow("wav 48k 6 channels") << "c.wav" << 48000 << 6 << "";
    QTest::newRow("flac") << "d.wav" << 22050 << 2 << "d.flac";
    QTest::newRow("ogg") << "e.wav" << 44100 << 1 << "e.ogg";
}

void TestAudioFile::decodesOtherFormats()
{
    QFETCH(QString, file);
    QFETCH(int, rate);
    QFETCH(int, channels);
    QFETCH(QString, soxTarget);
    QVERIFY(writeWav(path(file), sine(2.0, 440.0, 0.5f, rate), rate, channels));
    QString input = path(file);
    if (!soxTarget.isEmpty()) {
        QCOMPARE(QProcess::execute("sox", {input, path(soxTarget)}), 0);
        input = path(soxTarget);
    }
    auto decoded = AudioFile::decodeMono16k(input);
    OVRA_VERIFY_OK(decoded);
    QVERIFY2(std::abs(double(decoded->size()) - 32000.0) < 1100, qPrintable(QString::number(decoded->size())));
    QVERIFY(rms(decoded->data() + 4000, 16000) > 0.1);
    auto seconds = AudioFile::duration(input);
    QVERIFY(seconds);
    QVERIFY2(std::abs(*seconds - 2.0) < 0.07, qPrintable(QString::number(*seconds)));
}

void TestAudioFile::transcodeMakesSmallMonoAac()
{
    QVERIFY(writeWav(path("long.wav"), noise(10.0, 0.2f, 44100), 44100, 2));
    auto r = AudioFile::transcodeToAac(path("long.wav"), path("long.m4a"), 16000, 32000);
    OVRA_VERIFY_OK(r);
    const qint64 size = QFileInfo(path("long.m4a")).size();
    // 10 s at 32 kbit/s is about 40 kB; the 44.1 kHz stereo WAV is 1.7 MB.
    QVERIFY2(size > 20000 && size < 60000, qPrintable(QString::number(size)));
    auto seconds = AudioFile::duration(path("long.m4a"));
    QVERIFY(seconds);
    QVERIFY2(std::abs(*seconds - 10.0) < 0.1, qPrintable(QString::number(*seconds)));
    auto decoded = AudioFile::decodeMono16k(path("long.m4a"));
    QVERIFY(decoded);
    QVERIFY(std::abs(double(decoded->size()) - 160000.0) < 1100);
}

void TestAudioFile::transcodeWritesTheFormatTheNameAsks_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("magic"); // the container's first bytes
    QTest::newRow("wav") << "take.wav" << QByteArray("RIFF");
    QTest::newRow("flac") << "take.FLAC" << QByteArray("fLaC");
    QTest::newRow("ogg") << "take.ogg" << QByteArray("OggS");
    QTest::newRow("m4a") << "take.m4a" << QByteArray("\0\0\0", 3);
}

void TestAudioFile::transcodeWritesTheFormatTheNameAsks()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, magic);
    const auto format = AudioFile::formatForFileName(name);
    QVERIFY(format);
    QVERIFY(writeWav(path("source.wav"), noise(2.0, 0.2f, 16000), 16000, 1));
    OVRA_VERIFY_OK(AudioFile::transcode(path("source.wav"), path(name), *format, 16000, 32000));
    QFile f(path(name));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QVERIFY2(f.read(4).startsWith(magic), qPrintable(name));
    auto decoded = AudioFile::decodeMono16k(path(name));
    OVRA_VERIFY_OK(decoded);
    QVERIFY2(std::abs(double(decoded->size()) - 32000.0) < 1100, qPrintable(QString::number(decoded->size())));
    QVERIFY(rms(decoded->data(), decoded->size()) > 0.05);
    QVERIFY(!AudioFile::formatForFileName(QStringLiteral("take.mp3")));
}

void TestAudioFile::badFiles_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content"); // written as is; "@trunc" cuts a real M4A in half
    QTest::newRow("missing") << "missing.m4a" << QByteArray();
    QTest::newRow("empty") << "empty.m4a" << QByteArray("");
    QTest::newRow("text") << "notes.m4a" << QByteArray("this is not audio at all\n").repeated(50);
    QTest::newRow("truncated m4a") << "cut.m4a" << QByteArray("@trunc");
    QTest::newRow("zero-channel wav") << "zero.wav" << QByteArray("@zero");
    QTest::newRow("header only wav") << "hdr.wav" << QByteArray("@hdr");
}

void TestAudioFile::badFiles()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    const QString file = path(name);
    if (content == "@trunc") {
        AacWriter w;
        QVERIFY(w.open(path("whole.m4a"), 16000, 40000));
        QVERIFY(w.write(sine(3.0)));
        QVERIFY(w.finish());
        QFile whole(path("whole.m4a"));
        QVERIFY(whole.open(QIODevice::ReadOnly));
        const QByteArray all = whole.readAll();
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(all.left(all.size() / 2)); // the index (written last) is gone
    } else if (content == "@zero") {
        QVERIFY(writeWav(file, sine(1.0), 16000, 0));
    } else if (content == "@hdr") {
        QVERIFY(writeWav(file, {}, 16000, 1));
    } else if (name != "missing.m4a") {
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(content);
    }
    auto decoded = AudioFile::decodeMono16k(file);
    QVERIFY(!decoded);
    QVERIFY(!decoded.error().message.isEmpty());
    qInfo() << decoded.error().message;
    auto transcoded = AudioFile::transcodeToAac(file, path("out-" + name + ".m4a"), 16000, 32000);
    QVERIFY(!transcoded);
    QVERIFY(!QFileInfo::exists(path("out-" + name + ".m4a")));
}

void TestAudioFile::transcodeFailureLeavesNoOutput()
{
    QVERIFY(writeWav(path("ok.wav"), sine(1.0)));
    auto r = AudioFile::transcodeToAac(path("ok.wav"), path("no/such/folder/out.m4a"), 16000, 32000);
    QVERIFY(!r);
    QVERIFY(r.error().message.contains("out.m4a") || !r.error().message.isEmpty());
}

void TestAudioFile::copyAacRangesOnlyTakesAac()
{
    QVERIFY(writeWav(path("pcm.wav"), sine(1.0)));
    auto r = AudioFile::copyAacRanges(path("pcm.wav"), path("copy.m4a"), {{0, 8000}});
    QVERIFY(!r);
    QVERIFY(!QFileInfo::exists(path("copy.m4a")));
    QVERIFY(!AudioFile::copyAacRanges(path("missing.m4a"), path("copy.m4a"), {{0, 8000}}));
    QVERIFY(!QFileInfo::exists(path("copy.m4a")));
}

QTEST_GUILESS_MAIN(TestAudioFile)
#include "tst_audiofile.moc"
