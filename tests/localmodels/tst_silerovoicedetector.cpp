// The Silero detector on whisper.cpp with a small hand-weighted model (it hears a 1000 Hz tone
// as speech), the checks that keep broken model files away from the engine, and the choice of
// detector the silence trimmer makes: Silero when its model is there, the energy detector when
// it is absent or does not load.
#include "TinySileroModel.h"
#include "audio/AudioFixtures.h"
#include "fakes/AwaitTask.h"
#include "localmodels/SileroVoiceDetector.h"
#include "localmodels/VoiceDetectorLoader.h"
#include "store/DebugLog.h"
#include "transcription/EnergyVoiceDetector.h"
#include "transcription/SilenceTrimmer.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace AudioFixtures;

namespace {

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

std::vector<float> toneBetweenSilences()
{
    std::vector<float> s = silence(1.0);
    append(s, sine(1.0, 1000.0, 0.3f));
    append(s, silence(1.0));
    return s;
}

// The offset of a 32-bit field of the header: magic, type length, type, then 32-bit fields.
qsizetype headerField(int index) { return 8 + 10 + 4 * index; }

} // namespace

class TestSileroVoiceDetector : public QObject
{
    Q_OBJECT

    QByteArray m_model = TinySileroModel::build();
    QTemporaryDir m_dir;

    QString modelFile(const QByteArray& bytes, const QString& name = QStringLiteral("silero.bin"))
    {
        const QString path = m_dir.filePath(name);
        return writeFile(path, bytes) ? path : QString();
    }

private Q_SLOTS:
    void findsTheSpeechRanges()
    {
        auto detector = SileroVoiceDetector::load(modelFile(m_model), 2);
        QVERIFY2(detector, qPrintable(detector ? QString() : detector.error()));

        auto silent = detector.value()->segment(silence(2.0));
        QVERIFY(silent);
        QVERIFY(silent->empty());

        auto found = detector.value()->segment(toneBetweenSilences());
        QVERIFY(found);
        QCOMPARE(found->size(), size_t(1));
        // The engine works in 32 ms windows and pads speech a little on both sides.
        const SpeechSegment s = found->front();
        QVERIFY2(s.start >= 14500 && s.start <= 16500, qPrintable(QString::number(s.start)));
        QVERIFY2(s.end >= 31500 && s.end <= 34000, qPrintable(QString::number(s.end)));
    }

    void refusesBrokenFiles_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        auto patched = [&](int field, qint32 value) {
            QByteArray b = m_model;
            const qint32 v = qToLittleEndian(value);
            b.replace(headerField(field), 4, reinterpret_cast<const char*>(&v), 4);
            return b;
        };
        QByteArray foreignType = m_model;
        foreignType.replace(8, 6, "whispr");
        QByteArray unknownTensor = m_model;
        unknownTensor.replace(unknownTensor.indexOf("_model.decoder.rnn.bias_hh"), 6, "_other");
        QByteArray hugeName = m_model;
        {
            // The length field of the first tensor's name.
            const qsizetype first = headerField(6 + 3 * 4 + 4);
            const qint32 v = qToLittleEndian<qint32>(-7);
            hugeName.replace(first + 4, 4, reinterpret_cast<const char*>(&v), 4);
        }
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("not a model") << QByteArray("<!DOCTYPE html><html>Rate limited</html>");
        QTest::newRow("a Whisper model's magic only") << m_model.left(4);
        QTest::newRow("foreign model type") << foreignType;
        QTest::newRow("truncated in the header") << m_model.left(40);
        QTest::newRow("truncated in a tensor") << m_model.left(m_model.size() / 2);
        QTest::newRow("one byte short") << m_model.left(m_model.size() - 1);
        QTest::newRow("trailing garbage") << m_model + QByteArray(5, 'x');
        QTest::newRow("other window") << patched(3, 256);
        QTest::newRow("other layer count") << patched(5, 100000);
        QTest::newRow("other channel count") << patched(6, 130);
        QTest::newRow("unknown tensor") << unknownTensor;
        QTest::newRow("negative name length") << hugeName;
    }
    void refusesBrokenFiles()
    {
        QFETCH(QByteArray, bytes);
        const auto detector = SileroVoiceDetector::load(modelFile(bytes, QStringLiteral("broken.bin")), 1);
        QVERIFY(!detector);
        QVERIFY(!detector.error().isEmpty());
    }

    void trimmerPicksItsDetector_data()
    {
        QTest::addColumn<QString>("model"); // "good", "broken" or "absent"
        QTest::addColumn<bool>("silero");
        QTest::addColumn<QString>("logLine");
        QTest::newRow("downloaded") << "good" << true
                                    << "VAD: modèle chargé depuis le bundle (aucun téléchargement)";
        QTest::newRow("broken") << "broken" << false << "VAD: échec du chargement bundle (";
        QTest::newRow("absent") << "absent" << false << QString();
    }
    void trimmerPicksItsDetector()
    {
        QFETCH(QString, model);
        QFETCH(bool, silero);
        QFETCH(QString, logLine);
        const QString file = m_dir.filePath(QStringLiteral("vad-") + model + QStringLiteral(".bin"));
        if (model == QLatin1String("good"))
            QVERIFY(writeFile(file, m_model));
        else if (model == QLatin1String("broken"))
            QVERIFY(writeFile(file, m_model.left(1000)));
        DebugLog log(m_dir.filePath(QStringLiteral("log-") + model));
        auto loaded = VoiceDetectorLoader(file, log, 1)();
        QVERIFY(loaded);
        QCOMPARE(dynamic_cast<SileroVoiceDetector*>(loaded->get()) != nullptr, silero);
        QCOMPARE(dynamic_cast<EnergyVoiceDetector*>(loaded->get()) != nullptr, !silero);
        const QString journal = log.contents();
        if (logLine.isEmpty())
            QVERIFY(!journal.contains(QStringLiteral("VAD:")));
        else
            QVERIFY2(journal.contains(logLine), qPrintable(journal));
        QVERIFY(!journal.contains(QStringLiteral("VAD: modèle")) || silero);
    }

    void trimsWithSilero()
    {
        const QString vad = modelFile(m_model, QStringLiteral("trim.bin"));
        DebugLog log(m_dir.filePath(QStringLiteral("log-trim")));
        SilenceTrimmer trimmer(log, VoiceDetectorLoader(vad, log, 1), m_dir.path());

        const QString recording = m_dir.filePath(QStringLiteral("tone.wav"));
        QVERIFY(writeWav(recording, toneBetweenSilences()));
        const TrimOutcome trimmed = awaitTask(trimmer.trim(recording));
        QCOMPARE(trimmed.kind, TrimOutcome::Kind::trimmed);
        QVERIFY(QFile::exists(trimmed.file));
        QFile::remove(trimmed.file);

        // A steady tone is hum to the energy detector (nothing kept) but speech to this model.
        const QString steady = m_dir.filePath(QStringLiteral("steady.wav"));
        QVERIFY(writeWav(steady, sine(3.0, 1000.0, 0.3f)));
        const TrimOutcome kept = awaitTask(trimmer.trim(steady));
        QCOMPARE(kept.kind, TrimOutcome::Kind::unchanged);
        QCOMPARE(kept.file, steady);

        const QString journal = log.contents();
        QCOMPARE(journal.count(QStringLiteral("VAD: modèle chargé depuis le bundle (aucun téléchargement)")), 1);
        QVERIFY2(journal.contains(QStringLiteral("VAD trim: 48000 → ")), qPrintable(journal));
    }

    void takesUpTheModelOnceDownloaded()
    {
        const QString vad = m_dir.filePath(QStringLiteral("later.bin"));
        DebugLog log(m_dir.filePath(QStringLiteral("log-later")));
        SilenceTrimmer trimmer(log, VoiceDetectorLoader(vad, log, 1), m_dir.path());
        const QString steady = m_dir.filePath(QStringLiteral("steady-later.wav"));
        QVERIFY(writeWav(steady, sine(3.0, 1000.0, 0.3f)));
        // Without the model the energy detector hears hum only.
        QCOMPARE(awaitTask(trimmer.trim(steady)).kind, TrimOutcome::Kind::empty);

        QVERIFY(writeFile(vad, m_model));
        QCOMPARE(awaitTask(trimmer.trim(steady)).kind, TrimOutcome::Kind::empty); // chosen once...
        trimmer.reloadDetector();                                                   // ...until told
        QCOMPARE(awaitTask(trimmer.trim(steady)).kind, TrimOutcome::Kind::unchanged);
        QVERIFY(log.contents().contains(QStringLiteral("VAD: modèle chargé depuis le bundle (aucun téléchargement)")));
    }
};

QTEST_MAIN(TestSileroVoiceDetector)
#include "tst_silerovoicedetector.moc"
