// The models section over the real model store, downloading from a local stand-in for the model
// host: the catalogue, the modes using each model, download with progress, loading, cancel,
// delete, and the host's faults shown beside the model.
#include "SectionRig.h"
#include "fakes/ModelHost.h"
#include "localmodels/TinySileroModel.h"
#include "localmodels/TinyWhisperModel.h"
#include "localmodels/WhisperModel.h"
#include "ui/sections/ModelsSection.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

namespace {
const QString kTiny = QStringLiteral("openai_whisper-tiny");
const QString kTinyPath = QStringLiteral("ggerganov/whisper.cpp/resolve/main/ggml-tiny.bin");
} // namespace

class TestModelsSection : public QObject
{
    Q_OBJECT

    QByteArray m_model = TinyWhisperModel::build();
    std::unique_ptr<ModelHost> m_host;
    std::unique_ptr<SectionRig> m_rig;
    std::unique_ptr<ModelsSection> m_section;

    ModelCard* tiny() const { return m_section->card(kTiny); }
    QString tinyFile() const
    {
        return m_rig->dir.filePath(QStringLiteral("data/models/whisper/") + kTiny + QStringLiteral("/ggml-tiny.bin"));
    }
    static QProgressBar* progressBar(ModelCard* card) { return card->findChild<QProgressBar*>(); }

private Q_SLOTS:
    void init()
    {
        m_host = std::make_unique<ModelHost>();
        QVERIFY(m_host->start());
        qputenv("OVRA_MODELS_BASE_URL", m_host->baseUrl().toString().toUtf8());
        m_rig = std::make_unique<SectionRig>();
        m_section = std::make_unique<ModelsSection>(*m_rig->context);
        m_section->resize(900, 700);
    }
    void cleanup()
    {
        m_section.reset();
        m_rig.reset();
        m_host.reset();
        qunsetenv("OVRA_MODELS_BASE_URL");
    }

    void listsTheCatalogueAndTheModesUsingEachModel()
    {
        const QList<ModelCard*> cards = m_section->cards();
        const QList<WhisperModel>& whisper = WhisperModel::catalogue();
        QCOMPARE(cards.size(), whisper.size() + 6);
        for (int i = 0; i < whisper.size(); ++i) {
            QCOMPARE(cards[i]->id(), whisper[i].variant);
            const QList<QLabel*> labels = cards[i]->findChildren<QLabel*>();
            auto shows = [&](const QString& text) {
                return std::any_of(labels.begin(), labels.end(), [&](QLabel* l) { return l->text() == text; });
            };
            QVERIFY2(shows(QStringLiteral("Whisper ") + whisper[i].name), qPrintable(whisper[i].name));
            QVERIFY(shows(whisper[i].description));
            QVERIFY(shows(QString::number(whisper[i].sizeMB) + QStringLiteral(" Mo · multilingue")));
            QCOMPARE(cards[i]->stateText(), QStringLiteral("non téléchargé"));
            QVERIFY(cards[i]->downloadButton()->isEnabled());
        }
        // Models without an engine here say so and cannot be fetched.
        ModelCard* nemotron = m_section->card(QStringLiteral("nemotron-latin-0.6b"));
        QVERIFY(nemotron);
        QCOMPARE(nemotron->stateText(), QStringLiteral("moteur indisponible sur ce système"));
        QVERIFY(!nemotron->downloadButton()->isEnabled());
        QCOMPARE(m_section->card(QStringLiteral("parakeet-tdt-0.6b-v3"))->stateText(), QStringLiteral("non téléchargé"));

        ModelCard* vad = m_section->card(QStringLiteral("silero-vad"));
        QVERIFY(vad);
        QCOMPARE(vad->stateText(), QStringLiteral("non téléchargé"));
        QCOMPARE(vad->usageText(), QStringLiteral("Utilisé par : retrait des silences"));

        QCOMPARE(tiny()->usageText(), QStringLiteral("Utilisé par aucun mode"));
        TranscriptionMode local;
        local.name = QStringLiteral("Hors ligne");
        local.transcriptionProviderRaw = QStringLiteral("whisperKit");
        local.transcriptionModel = kTiny;
        QVERIFY(m_rig->store().insert(local));
        TranscriptionMode oddName = local;
        oddName.id = QUuid::createUuid();
        oddName.name = QStringLiteral("Ancien");
        oddName.transcriptionModel = QStringLiteral("whisper-1"); // replaced by Base
        QVERIFY(m_rig->store().insert(oddName));
        QTRY_COMPARE(tiny()->usageText(), QStringLiteral("Utilisé par : Hors ligne"));
        QCOMPARE(m_section->card(QStringLiteral("openai_whisper-base"))->usageText(), QStringLiteral("Utilisé par : Ancien"));
    }

    void downloadsWithProgressLoadsAndDeletes()
    {
        ModelHost::File file{m_model};
        file.chunkDelayMs = 40;
        m_host->serve(kTinyPath, file);
        tiny()->downloadButton()->click();

        QTRY_COMPARE(tiny()->state(), ModelCard::State::downloading);
        QTRY_VERIFY(tiny()->progressPercent() > 0);
        QVERIFY(tiny()->stateText().startsWith(QStringLiteral("téléchargement ")));
        QVERIFY(tiny()->stateText().contains(QStringLiteral(" Mo)")));
        QVERIFY(!tiny()->cancelButton()->isHidden());
        QVERIFY(tiny()->downloadButton()->isHidden());
        QVERIFY(!progressBar(tiny())->isHidden());

        QTRY_COMPARE_WITH_TIMEOUT(tiny()->state(), ModelCard::State::ready, 30000);
        QVERIFY(tiny()->stateText().startsWith(QStringLiteral("prêt — ")));
        QVERIFY(QFile::exists(tinyFile()));
        QVERIFY(progressBar(tiny())->isHidden());
        QVERIFY(!tiny()->deleteButton()->isHidden());
        QVERIFY(tiny()->errorText().isEmpty());

        // Loading it (as a dictation or the start-up prewarm would) shows it loaded.
        m_rig->services->localModels().prewarm(kTiny);
        QTRY_COMPARE_WITH_TIMEOUT(tiny()->state(), ModelCard::State::loaded, 30000);

        // Deleting asks once in the button itself, then removes the files and unloads.
        tiny()->deleteButton()->click();
        QCOMPARE(tiny()->state(), ModelCard::State::loaded);
        QVERIFY(QFile::exists(tinyFile()));
        tiny()->deleteButton()->click();
        QTRY_COMPARE(tiny()->state(), ModelCard::State::notDownloaded);
        QVERIFY(!QFile::exists(tinyFile()));
        QVERIFY(m_rig->services->localModels().whisper().loadedModel().isEmpty());
        QVERIFY(!tiny()->downloadButton()->isHidden());
    }

    void downloadsTheVoiceDetector()
    {
        m_host->serve(QStringLiteral("ggml-org/whisper-vad/resolve/main/ggml-silero-v5.1.2.bin"),
                      ModelHost::File{TinySileroModel::build()});
        ModelCard* vad = m_section->card(QStringLiteral("silero-vad"));
        vad->downloadButton()->click();
        QTRY_COMPARE_WITH_TIMEOUT(vad->state(), ModelCard::State::ready, 20000);
        LocalModels& models = m_rig->services->localModels();
        QVERIFY(QFile::exists(models.voiceDetectorFile()));
        vad->deleteButton()->click();
        vad->deleteButton()->click();
        QTRY_COMPARE(vad->state(), ModelCard::State::notDownloaded);
        QVERIFY(!QFile::exists(models.voiceDetectorFile()));
    }

    void cancelStopsTheDownloadAndLeavesNoPartialFile()
    {
        ModelHost::File file{m_model};
        file.chunkDelayMs = 200; // about 20 s in all: the cancel lands well before the end
        m_host->serve(kTinyPath, file);
        tiny()->downloadButton()->click();
        QTRY_VERIFY(tiny()->progressPercent() > 0);
        tiny()->cancelButton()->click();
        QTRY_COMPARE_WITH_TIMEOUT(tiny()->state(), ModelCard::State::notDownloaded, 20000);
        QVERIFY(tiny()->errorText().isEmpty());
        QTRY_VERIFY(m_rig->services->log().contents().contains(kTiny + QStringLiteral(" annulé, partiels supprimés")));
        QDir folder(QFileInfo(tinyFile()).path());
        QCOMPARE(folder.entryList({QStringLiteral("*.partial")}, QDir::Files), QStringList());
        QVERIFY(!tiny()->downloadButton()->isHidden());
    }

    void hostFaultIsShownBesideTheModel_data()
    {
        QTest::addColumn<bool>("served");
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("html");
        QTest::addColumn<QByteArray>("sha");
        QTest::newRow("404") << false << 200 << false << QByteArray();
        QTest::newRow("500") << true << 500 << false << QByteArray();
        QTest::newRow("html page") << true << 200 << true << QByteArray();
        QTest::newRow("wrong checksum") << true << 200 << false << QByteArray(64, 'a');
    }
    void hostFaultIsShownBesideTheModel()
    {
        QFETCH(bool, served);
        QFETCH(int, status);
        QFETCH(bool, html);
        QFETCH(QByteArray, sha);
        if (served) {
            ModelHost::File file{m_model};
            file.status = status;
            file.html = html;
            file.announcedSha256 = sha;
            m_host->serve(kTinyPath, file);
        }
        tiny()->downloadButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(!tiny()->errorText().isEmpty(), 20000);
        QCOMPARE(tiny()->state(), ModelCard::State::notDownloaded);
        QVERIFY(tiny()->errorText().startsWith(QStringLiteral("Erreur : ")));
        QVERIFY(!QFile::exists(tinyFile()));
        QVERIFY(!tiny()->downloadButton()->isHidden());
        // The other models are untouched.
        QVERIFY(m_section->card(QStringLiteral("openai_whisper-base"))->errorText().isEmpty());
        // The error outlives a restart: services started again over the same settings still show it.
        const QString message = tiny()->errorText().mid(QStringLiteral("Erreur : ").size());
        {
            LocalModels restarted(m_rig->settings(), m_rig->services->log(), m_rig->dir.filePath(QStringLiteral("data/models")),
                                  m_host->baseUrl());
            QCOMPARE(restarted.lastError(kTiny), message);
        }

        // A new attempt clears the error while it runs, and a good file ends it.
        m_host->serve(kTinyPath, ModelHost::File{m_model});
        tiny()->downloadButton()->click();
        QTRY_COMPARE_WITH_TIMEOUT(tiny()->state(), ModelCard::State::ready, 20000);
        QVERIFY(tiny()->errorText().isEmpty());
        QVERIFY(!m_rig->settings().map(QLatin1String(LocalModels::errorsKey)).contains(kTiny));
    }
};

QTEST_MAIN(TestModelsSection)
#include "tst_modelssection.moc"
