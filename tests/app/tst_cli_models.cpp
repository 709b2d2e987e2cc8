// `ovra models` through the real binary against a local stand-in for the model host: list,
// download with plain progress lines and with the progress bar on a terminal, a cut download
// left resumable, cancel (of leftovers and of a download running in another ovra), delete.
#include "fakes/ModelHost.h"
#include "fakes/OvraProcess.h"
#include "fakes/WavHeader.h"
#include "localmodels/TinySileroModel.h"
#include "localmodels/TinyWhisperModel.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>
#include <cmath>

namespace {
const QString kTinyPath = QStringLiteral("ggerganov/whisper.cpp/resolve/main/ggml-tiny.bin");
} // namespace

class TestCliModels : public QObject
{
    Q_OBJECT

    QByteArray m_model = TinyWhisperModel::build();
    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<ModelHost> m_host;

    QProcessEnvironment env() const
    {
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        e.insert(QStringLiteral("OVRA_MODELS_BASE_URL"), m_host->baseUrl().toString());
        e.insert(QStringLiteral("OVRA_SECRET_STORE"), QStringLiteral("memory"));
        return e;
    }
    OvraRun ovra(const QStringList& args) { return runOvra(m_home->path(), args, {}, env()); }
    QString folder() const { return m_home->filePath(QStringLiteral("data/ovra/models/whisper/openai_whisper-tiny")); }
    QString partial() const { return folder() + QStringLiteral("/ggml-tiny.bin.partial"); }

    QJsonObject listed(const QString& id)
    {
        const OvraRun list = ovra({"models", "list", "--json"});
        for (const QJsonValue& v : QJsonDocument::fromJson(list.out.toUtf8()).array())
            if (v.toObject().value(QStringLiteral("id")).toString() == id)
                return v.toObject();
        return {};
    }

private Q_SLOTS:
    void init()
    {
        m_home = std::make_unique<QTemporaryDir>();
        m_host = std::make_unique<ModelHost>();
        QVERIFY(m_host->start());
    }
    void cleanup()
    {
        m_host.reset();
        m_home.reset();
    }

    void downloadListDelete()
    {
        m_host->serve(kTinyPath, {m_model});
        const QJsonObject before = listed(QStringLiteral("openai_whisper-tiny"));
        QCOMPARE(before.value(QStringLiteral("state")).toString(), QStringLiteral("notDownloaded"));
        QCOMPARE(before.value(QStringLiteral("sizeMB")).toInt(), 75);
        QCOMPARE(before.value(QStringLiteral("path")), QJsonValue());

        const OvraRun got = ovra({"models", "download", "tiny"});
        QCOMPARE(got.code, 0);
        const QString file = folder() + QStringLiteral("/ggml-tiny.bin");
        QCOMPARE(got.out, QStringLiteral("Modèle téléchargé : ") + file + "\n");
        // Not a terminal: plain lines, the last at 100 %.
        QVERIFY2(got.err.endsWith(QStringLiteral("openai_whisper-tiny : 100 %\n")), qPrintable(got.err));

        const QJsonObject after = listed(QStringLiteral("openai_whisper-tiny"));
        QCOMPARE(after.value(QStringLiteral("state")).toString(), QStringLiteral("downloaded"));
        QCOMPARE(after.value(QStringLiteral("path")).toString(), file);
        QCOMPARE(after.value(QStringLiteral("bytesOnDisk")).toInteger(), qint64(m_model.size()));
        const OvraRun table = ovra({"models", "list"});
        QVERIFY2(table.out.contains(QRegularExpression(QStringLiteral("openai_whisper-tiny +Whisper Tiny +75 Mo  téléchargé"))),
                 qPrintable(table.out));

        QCOMPARE(ovra({"models", "download", "Whisper Tiny"}).out, QStringLiteral("Déjà téléchargé : ") + file + "\n");
        QCOMPARE(m_host->storageGets(), 1);

        // A dictation with the downloaded model runs the real engine (the tiny model always says "w1000").
        const QString wav = m_home->filePath(QStringLiteral("speech.wav"));
        QFile audio(wav);
        QVERIFY(audio.open(QIODevice::WriteOnly));
        QByteArray pcm(64000, '\0');
        for (int i = 0; i < pcm.size(); i += 2)
            pcm[i + 1] = char((i / 2) % 50 - 25);
        audio.write(wavHeader(quint32(pcm.size()), 16000, 1) + pcm);
        audio.close();
        const OvraRun said = ovra({"transcribe", wav, "--provider", "whisperKit", "--model", "openai_whisper-tiny",
                                   "--language", "fr"});
        QCOMPARE(said.code, 0);
        QCOMPARE(said.out, QStringLiteral("w1000\n"));
        const QString journal = ovra({"log"}).out;
        QVERIFY2(journal.contains(QStringLiteral("APP WhisperKit: loading model openai_whisper-tiny")), qPrintable(journal));
        QVERIFY(journal.contains(QStringLiteral("APP WhisperKit: model openai_whisper-tiny ready")));

        const OvraRun removed = ovra({"models", "delete", "openai_whisper-tiny"});
        QCOMPARE(removed.code, 0);
        QCOMPARE(removed.out, QStringLiteral("Modèle supprimé : openai_whisper-tiny\n"));
        QVERIFY(!QFileInfo::exists(folder()));
        QCOMPARE(listed(QStringLiteral("openai_whisper-tiny")).value(QStringLiteral("state")).toString(),
                 QStringLiteral("notDownloaded"));
    }

    void voiceDetectorTrimsOnceDownloaded()
    {
        m_host->serve(QStringLiteral("ggml-org/whisper-vad/resolve/main/ggml-silero-v5.1.2.bin"),
                      {TinySileroModel::build()});
        QCOMPARE(listed(QStringLiteral("silero-vad")).value(QStringLiteral("state")).toString(),
                 QStringLiteral("notDownloaded"));
        const OvraRun got = ovra({"models", "download", "silero-vad"});
        QCOMPARE(got.code, 0);
        const QString file = m_home->filePath(QStringLiteral("data/ovra/models/vad/ggml-silero-v5.1.2.bin"));
        QCOMPARE(got.out, QStringLiteral("Modèle téléchargé : ") + file + "\n");
        const QJsonObject row = listed(QStringLiteral("silero-vad"));
        QCOMPARE(row.value(QStringLiteral("state")).toString(), QStringLiteral("downloaded"));
        QCOMPARE(row.value(QStringLiteral("engine")).toString(), QStringLiteral("vad"));
        QCOMPARE(row.value(QStringLiteral("path")).toString(), file);

        // A recording trimmed before transcription goes through the downloaded detector (this
        // model hears the 1000 Hz tone as speech); whatever the recogniser then makes of it.
        QByteArray pcm(96000, '\0'); // 3 s at 16 kHz: silence, a 1000 Hz tone, silence
        for (int i = 16000; i < 32000; ++i)
            qToLittleEndian(qint16(std::lround(9830 * std::sin(2 * M_PI * 1000.0 * i / 16000.0))), pcm.data() + 2 * i);
        const QString wav = m_home->filePath(QStringLiteral("tone.wav"));
        QFile audio(wav);
        QVERIFY(audio.open(QIODevice::WriteOnly));
        audio.write(wavHeader(quint32(pcm.size()), 16000, 1) + pcm);
        audio.close();
        ovra({"transcribe", wav, "--provider", "apple", "--trim"});
        const QString journal = ovra({"log"}).out;
        QVERIFY2(journal.contains(QStringLiteral("VAD: modèle chargé depuis le bundle (aucun téléchargement)")),
                 qPrintable(journal));
        QVERIFY(journal.contains(QStringLiteral("VAD trim: 48000 → ")));

        QCOMPARE(ovra({"models", "delete", "Silero VAD"}).out, QStringLiteral("Modèle supprimé : silero-vad\n"));
        QVERIFY(!QFileInfo::exists(file));
    }

    void cutDownloadStaysResumableUntilCancelled()
    {
        ModelHost::File file{m_model};
        file.cutAfter = 300000;
        m_host->serve(kTinyPath, file);
        const OvraRun cut = ovra({"models", "download", "tiny"});
        QCOMPARE(cut.code, 1);
        QCOMPARE(cut.out, QString());
        QVERIFY2(cut.err.contains(QStringLiteral("openai_whisper-tiny : Téléchargement interrompu")), qPrintable(cut.err));
        QCOMPARE(QFileInfo(partial()).size(), qint64(300000));
        QCOMPARE(listed(QStringLiteral("openai_whisper-tiny")).value(QStringLiteral("state")).toString(),
                 QStringLiteral("partial"));

        const OvraRun cancelled = ovra({"models", "cancel", "tiny"});
        QCOMPARE(cancelled.code, 0);
        QVERIFY(cancelled.out.startsWith(QStringLiteral("Aucun téléchargement en cours pour openai_whisper-tiny")));
        QVERIFY(!QFileInfo::exists(partial()));
        QCOMPARE(listed(QStringLiteral("openai_whisper-tiny")).value(QStringLiteral("state")).toString(),
                 QStringLiteral("notDownloaded"));
    }

    void cancelStopsADownloadInAnotherOvra()
    {
        ModelHost::File file{m_model};
        file.chunkDelayMs = 100; // about 9 s for the whole file
        m_host->serve(kTinyPath, file);
        QProcess downloading;
        QProcessEnvironment e = env();
        e.insert(QStringLiteral("XDG_DATA_HOME"), m_home->filePath(QStringLiteral("data")));
        e.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home->filePath(QStringLiteral("config")));
        downloading.setProcessEnvironment(e);
        downloading.start(QStringLiteral(OVRA_BINARY), {"models", "download", "tiny"});
        QVERIFY(downloading.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(partial()).size() > 0, 30000);
        QCOMPARE(listed(QStringLiteral("openai_whisper-tiny")).value(QStringLiteral("state")).toString(),
                 QStringLiteral("downloading"));

        const OvraRun cancelled = ovra({"models", "cancel", "tiny"});
        QCOMPARE(cancelled.code, 0);
        QCOMPARE(cancelled.out, QStringLiteral("Téléchargement de openai_whisper-tiny annulé.\n"));
        QTRY_VERIFY_WITH_TIMEOUT(downloading.state() == QProcess::NotRunning, 30000);
        QVERIFY(!QFileInfo::exists(partial()));
        QFile log(m_home->filePath(QStringLiteral("data/ovra/mirelo-debug.log")));
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QString journal = QString::fromUtf8(log.readAll());
        QVERIFY2(journal.contains(QStringLiteral("APP WhisperKit: annulation openai_whisper-tiny")), qPrintable(journal));
        QVERIFY(journal.contains(QStringLiteral("APP WhisperKit: openai_whisper-tiny annulé, partiels supprimés")));
        if (downloading.state() != QProcess::NotRunning) {
            downloading.kill();
            downloading.waitForFinished();
        }
    }

    void progressBarOnATerminal()
    {
        ModelHost::File file{m_model};
        file.chunkDelayMs = 20;
        m_host->serve(kTinyPath, file);
        QProcess p;
        QProcessEnvironment e = env();
        e.insert(QStringLiteral("XDG_DATA_HOME"), m_home->filePath(QStringLiteral("data")));
        e.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home->filePath(QStringLiteral("config")));
        p.setProcessEnvironment(e);
        p.start(QStringLiteral("python3"), {QStringLiteral(PTY_RUN), "--", OVRA_BINARY, "models", "download", "tiny"});
        QVERIFY(QTest::qWaitFor([&] { return p.state() == QProcess::NotRunning; }, 60000));
        const QString shown = QString::fromUtf8(p.readAllStandardOutput());
        QCOMPARE(p.exitCode(), 0);
        QVERIFY2(shown.contains(QRegularExpression(QStringLiteral("openai_whisper-tiny  \\d+ %  [0-9.]+ Mo/s  reste \\d+ s"))),
                 qPrintable(shown));
        QVERIFY(shown.contains(QStringLiteral("Modèle téléchargé : ")));
        QVERIFY(!shown.contains(QStringLiteral(" : 100 %")));
    }

    void unknownModels()
    {
        const OvraRun typo = ovra({"models", "download", "tinny"});
        QCOMPARE(typo.code, 1);
        QVERIFY2(typo.err.contains(QStringLiteral("Modèle inconnu : tinny\nVouliez-vous dire « tiny » ?")),
                 qPrintable(typo.err));
        const OvraRun nvidia = ovra({"models", "download", "nemotron-en-0.6b"});
        QCOMPARE(nvidia.code, 1);
        QVERIFY2(nvidia.err.contains(QStringLiteral("moteur indisponible sur ce système")), qPrintable(nvidia.err));
    }
};

QTEST_GUILESS_MAIN(TestCliModels)
#include "tst_cli_models.moc"
