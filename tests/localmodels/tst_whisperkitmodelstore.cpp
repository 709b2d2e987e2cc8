// The Whisper model store against a local stand-in for the model host: download with progress
// and integrity, resume after a cut, the host's faults, cancellation with and without the
// grace period running out, deletion and the partial-file clean-up.
#include "TinyWhisperModel.h"
#include "fakes/AwaitTask.h"
#include "fakes/ModelHost.h"
#include "localmodels/ModelFileDownload.h"
#include "localmodels/WhisperKitModelStore.h"
#include "store/DebugLog.h"
#include "store/Settings.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {
const QString kTiny = QStringLiteral("openai_whisper-tiny");
const QString kTinyPath = QStringLiteral("ggerganov/whisper.cpp/resolve/main/ggml-tiny.bin");
} // namespace

class TestWhisperKitModelStore : public QObject
{
    Q_OBJECT

    QByteArray m_model = TinyWhisperModel::build();
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<DebugLog> m_log;
    std::unique_ptr<Settings> m_settings;
    std::unique_ptr<ModelHost> m_host;

    std::unique_ptr<WhisperKitModelStore> store(std::chrono::milliseconds grace = WhisperKitModelStore::kCancelGrace)
    {
        return std::make_unique<WhisperKitModelStore>(*m_settings, *m_log, m_dir->filePath(QStringLiteral("models")),
                                                      m_host->baseUrl(), grace);
    }
    QString modelFile() const { return m_dir->filePath(QStringLiteral("models/whisper/") + kTiny + "/ggml-tiny.bin"); }
    QString partial() const { return ModelFileDownload::partialPath(modelFile()); }
    int linesWith(const QString& text) const
    {
        const QStringList lines = m_log->contents().split('\n', Qt::SkipEmptyParts);
        return int(std::count_if(lines.begin(), lines.end(), [&](const QString& l) { return l.contains(text); }));
    }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_log = std::make_unique<DebugLog>(m_dir->filePath(QStringLiteral("log")));
        m_settings = std::make_unique<Settings>(m_dir->filePath(QStringLiteral("config")));
        m_host = std::make_unique<ModelHost>();
        QVERIFY(m_host->start());
    }
    void cleanup()
    {
        m_host.reset();
        m_settings.reset();
        m_log.reset();
        m_dir.reset();
    }

    void downloadsVerifiesAndRecords()
    {
        m_host->serve(kTinyPath, {m_model});
        auto models = store();
        double lastProgress = 0;
        connect(models.get(), &WhisperKitModelStore::changed, this,
                [&] { lastProgress = std::max(lastProgress, models->progress().value(kTiny)); });
        // Two dictations asking during one download share it.
        auto first = models->download(kTiny);
        auto second = models->download(kTiny);
        QVERIFY(models->isDownloading(kTiny));
        QVERIFY(awaitTask(std::move(first)));
        QVERIFY(awaitTask(std::move(second)));
        QCOMPARE(m_host->storageGets(), 1);
        QCOMPARE(lastProgress, 1.0);

        QVERIFY(models->isDownloaded(kTiny));
        QCOMPARE(models->modelFile(kTiny), modelFile());
        QFile file(modelFile());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), m_model);
        QVERIFY(!QFile::exists(partial()));
        QVERIFY(!QFile::exists(ModelFileDownload::etagPath(modelFile())));
        QVERIFY(models->progress().isEmpty());
        QVERIFY(models->errors().isEmpty());
        QCOMPARE(models->pathsRevision(), 1);

        const QString folder = QFileInfo(modelFile()).absolutePath();
        QCOMPARE(linesWith(QStringLiteral("[FLOW] APP WhisperKit: download openai_whisper-tiny")), 1);
        QCOMPARE(linesWith(QStringLiteral("APP WhisperKit: openai_whisper-tiny downloaded → ") + folder), 1);
        QCOMPARE(linesWith(QStringLiteral("APP Modèles: exclusion du backup sans objet sur Linux (openai_whisper-tiny)")),
                 1);

        // The record outlives the program.
        m_settings->sync();
        Settings reread(m_dir->filePath(QStringLiteral("config")));
        WhisperKitModelStore again(reread, *m_log, m_dir->filePath(QStringLiteral("models")), m_host->baseUrl());
        QVERIFY(again.isDownloaded(kTiny));
        QCOMPARE(reread.map(QStringLiteral("whisperkit.downloadedPaths")).value(kTiny).toString(), folder);

        // A recorded folder that is gone counts as not downloaded.
        QVERIFY(QDir(folder).removeRecursively());
        QVERIFY(!again.isDownloaded(kTiny));
    }

    void resumesAfterACut()
    {
        ModelHost::File file{m_model};
        file.cutAfter = m_model.size() / 2;
        m_host->serve(kTinyPath, file);
        auto models = store();
        const auto cut = awaitTask(models->download(kTiny));
        QVERIFY(!cut);
        QVERIFY2(cut.error().message.contains(QStringLiteral("interrompu")), qPrintable(cut.error().message));
        QCOMPARE(QFileInfo(partial()).size(), qint64(m_model.size() / 2));
        QVERIFY(!models->isDownloaded(kTiny));
        QCOMPARE(models->errors().value(kTiny), cut.error().message);
        QCOMPARE(linesWith(QStringLiteral("APP WhisperKit: download FAILED openai_whisper-tiny ") + cut.error().message),
                 1);

        QVERIFY(awaitTask(models->download(kTiny)));
        QCOMPARE(m_host->ranges().last(), "bytes=" + QByteArray::number(m_model.size() / 2) + "-");
        QFile done(modelFile());
        QVERIFY(done.open(QIODevice::ReadOnly));
        QCOMPARE(done.readAll(), m_model);
        QVERIFY(models->errors().isEmpty());
    }

    void hostFaults_data()
    {
        QTest::addColumn<ModelHost::File>("file");
        QTest::addColumn<bool>("served");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("partialKept");
        ModelHost::File plain{m_model};
        ModelHost::File failing = plain;
        failing.status = 500;
        ModelHost::File html = plain;
        html.html = true;
        ModelHost::File wrongHash = plain;
        wrongHash.announcedSha256 = QByteArray(64, 'a');
        ModelHost::File longer = plain;
        longer.announcedSize = m_model.size() + 100;
        ModelHost::File shorter = plain;
        shorter.announcedSize = m_model.size() - 100;
        ModelHost::File silent = plain;
        silent.omitHashes = true;
        ModelHost::File foreign{QByteArray("GGUF") + QByteArray(4096, '\1')};
        ModelHost::File cutEarly = plain;
        cutEarly.cutAfter = 1000;
        QTest::newRow("404") << plain << false << "HTTP 404" << false;
        QTest::newRow("storage 500") << failing << true << "HTTP 500" << false;
        QTest::newRow("html page") << html << true << "page web" << false;
        QTest::newRow("wrong checksum") << wrongHash << true << "SHA-256" << false;
        QTest::newRow("host announces more") << longer << true << "incomplet" << true;
        QTest::newRow("host sends more") << shorter << true << "plus d’octets" << true;
        QTest::newRow("no size or hash") << silent << true << "taille et l’empreinte" << false;
        QTest::newRow("another engine's file") << foreign << true << "pas un fichier ggml" << false;
        QTest::newRow("cut after a few bytes") << cutEarly << true << "interrompu" << true;
    }
    void hostFaults()
    {
        QFETCH(ModelHost::File, file);
        QFETCH(bool, served);
        QFETCH(QString, message);
        QFETCH(bool, partialKept);
        if (served)
            m_host->serve(kTinyPath, file);
        auto models = store();
        const auto result = awaitTask(models->download(kTiny));
        QVERIFY(!result);
        QVERIFY(!result.error().cancelled);
        QVERIFY2(result.error().message.contains(message), qPrintable(result.error().message));
        QVERIFY(!models->isDownloaded(kTiny));
        QVERIFY(!QFile::exists(modelFile()));
        QCOMPARE(QFile::exists(partial()), partialKept);
        QCOMPARE(models->errors().value(kTiny), result.error().message);
        QVERIFY(models->paths().isEmpty());
        QCOMPARE(linesWith(QStringLiteral("APP WhisperKit: download FAILED openai_whisper-tiny")), 1);
    }

    void cancelRemovesPartials()
    {
        ModelHost::File file{m_model};
        file.chunkDelayMs = 30;
        m_host->serve(kTinyPath, file);
        auto models = store();
        auto downloading = models->download(kTiny);
        QTRY_VERIFY(models->progress().value(kTiny) > 0.0);
        QVERIFY(QFile::exists(partial()));
        awaitTask(models->cancel(kTiny));
        const auto result = awaitTask(std::move(downloading));
        QVERIFY(!result);
        QVERIFY(result.error().cancelled);
        QVERIFY(!QFile::exists(partial()));
        QVERIFY(!QFile::exists(ModelFileDownload::etagPath(modelFile())));
        QVERIFY(!models->isDownloaded(kTiny));
        QVERIFY(models->errors().isEmpty());
        QVERIFY(models->progress().isEmpty());
        QCOMPARE(linesWith(QStringLiteral("APP WhisperKit: annulation openai_whisper-tiny")), 1);
        QCOMPARE(linesWith(QStringLiteral("APP WhisperKit: download CANCELLED openai_whisper-tiny")), 1);
        QCOMPARE(linesWith(QStringLiteral("APP Modèles: 2 fichier(s) partiel(s) supprimé(s) (openai_whisper-tiny)")), 1);
        QCOMPARE(linesWith(QStringLiteral("APP WhisperKit: openai_whisper-tiny annulé, partiels supprimés")), 1);
    }

    void cancelPastTheGraceKeepsPartials()
    {
        m_host->serve(kTinyPath, {m_model});
        // No grace at all: the check of the whole file is still running when the wait ends.
        auto models = store(std::chrono::milliseconds(0));
        std::optional<QCoro::Task<>> cancelling;
        connect(models.get(), &WhisperKitModelStore::changed, this, [&] {
            if (!cancelling && models->specializing().contains(kTiny))
                cancelling.emplace(models->cancel(kTiny));
        });
        auto downloading = models->download(kTiny);
        QTRY_VERIFY(cancelling.has_value());
        awaitTask(std::move(*cancelling));
        QCOMPARE(linesWith(QStringLiteral("APP WhisperKit: openai_whisper-tiny — tâche encore active, partiels conservés")),
                 1);
        QCOMPARE(linesWith(QStringLiteral("annulé, partiels supprimés")), 0);
        const auto result = awaitTask(std::move(downloading));
        QVERIFY(!result);
        QVERIFY(result.error().cancelled);
        QVERIFY(QFile::exists(partial()));
        QVERIFY(!models->isDownloaded(kTiny));
        // The kept bytes are complete: the next download only checks them.
        QVERIFY(awaitTask(models->download(kTiny)));
        QCOMPARE(m_host->storageGets(), 1);
    }

    void partialCleanUpCountsBothKinds()
    {
        const QString folder = m_dir->filePath(QStringLiteral("models/whisper/openai_whisper-base"));
        QVERIFY(QDir().mkpath(folder + "/nested"));
        for (const QString& name : {QStringLiteral("a.bin.partial"), QStringLiteral("nested/b.bin.partial.etag"),
                                    QStringLiteral("ggml-base.bin"), QStringLiteral("notes.partial.txt")}) {
            QFile f(folder + '/' + name);
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        QCOMPARE(WhisperKitModelStore::removePartialFiles(folder, *m_log), 2);
        QVERIFY(QFile::exists(folder + "/ggml-base.bin"));
        QVERIFY(QFile::exists(folder + "/notes.partial.txt"));
        QCOMPARE(linesWith(QStringLiteral("APP Modèles: 2 fichier(s) partiel(s) supprimé(s) (openai_whisper-base)")), 1);
        QCOMPARE(WhisperKitModelStore::removePartialFiles(folder, *m_log), 0);
        QCOMPARE(linesWith(QStringLiteral("partiel(s) supprimé(s)")), 1);
    }

    void removeDeletesOnlyOurFolder()
    {
        m_host->serve(kTinyPath, {m_model});
        const QString elsewhere = m_dir->filePath(QStringLiteral("user-files"));
        QVERIFY(QDir().mkpath(elsewhere));
        m_settings->setValue(QStringLiteral("whisperkit.downloadedPaths"),
                             QVariantMap{{QStringLiteral("openai_whisper-base"), elsewhere}});
        auto models = store();
        QVERIFY(awaitTask(models->download(kTiny)));
        models->remove(kTiny);
        QVERIFY(!models->isDownloaded(kTiny));
        QVERIFY(!QFileInfo::exists(QFileInfo(modelFile()).absolutePath()));
        models->removeAll();
        QVERIFY(QFileInfo(elsewhere).isDir());
        QVERIFY(models->paths().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestWhisperKitModelStore)
#include "tst_whisperkitmodelstore.moc"
