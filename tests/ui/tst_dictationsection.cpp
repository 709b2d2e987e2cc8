// The dictation section: files picked or asked for from the menu go through the controller's
// file transcription, unreadable ones are reported, and an error offers its action.
#include "SectionRig.h"
#include "fakes/AwaitTask.h"
#include "ui/sections/DictationSection.h"

#include <QFile>
#include <QSignalSpy>
#include <QTest>

class TestDictationSection : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void pickedFilesAreTranscribed()
    {
        SectionRig rig;
        const QString audio = rig.dir.filePath(QStringLiteral("note.m4a"));
        QFile f(audio);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("not really audio: the transcriber is a fake");
        f.close();
        DictationSection section(*rig.context);
        int pickerCalls = 0;
        section.setFilePicker([&](QWidget*) {
            ++pickerCalls;
            return QStringList{rig.dir.filePath(QStringLiteral("missing.wav")), audio};
        });
        QSignalSpy done(&section, &DictationSection::filesDone);

        // The menu's "Transcrire un fichier…" asks through the navigation.
        rig.navigation.setPendingTranscribePicker(true);
        QVERIFY(done.wait(10000));
        QCOMPARE(pickerCalls, 1);
        QVERIFY(!rig.navigation.pendingTranscribePicker());
        QCOMPARE(rig.transcriber.jobs.size(), 1);
        QCOMPARE(rig.transcriber.jobs[0].file, audio);
        QCOMPARE(section.lastText(), QStringLiteral("texte brut"));
        QCOMPARE(section.fileStatus(), QStringLiteral("« missing.wav » est introuvable ou illisible."));
        QCOMPARE(rig.store().count<Transcription>(), 1);
    }

    void aKeptRecordingOffersRetry()
    {
        SectionRig rig;
        TranscriptionMode mode;
        QVERIFY(rig.store().insert(mode));
        rig.transcriber.results.push_back(unexpected(TranscriptionError::fromAPI(APIError::serverError(500))));
        rig.recorder.file = rig.dir.filePath(QStringLiteral("rec.wav"));
        DictationSection section(*rig.context);
        awaitTask(rig.controller->start(DictationTrigger::hotkey));
        awaitTask(rig.controller->stop());
        QCOMPARE(section.errorActionText(), DictationSection::retryText());
        section.triggerErrorAction();
        QTRY_COMPARE(rig.store().count<Transcription>(), 1);
        QCOMPARE(rig.transcriber.jobs.size(), 2);
        QCOMPARE(section.errorActionText(), QString());
        QCOMPARE(rig.navigation.selection(), MacSection::dictation);
    }

    void errorAction_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("action");
        QTest::newRow("missing key") << APIError::missingAPIKey(QStringLiteral("Groq")).errorDescription()
                                     << "Ouvrir les réglages";
        QTest::newRow("no action") << "Aucune parole détectée — rien à transcrire." << "";
    }
    void errorAction()
    {
        QFETCH(QString, message);
        QFETCH(QString, action);
        SectionRig rig;
        const QString audio = rig.dir.filePath(QStringLiteral("a.wav"));
        QFile f(audio);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        rig.transcriber.results.push_back(unexpected(TranscriptionError::file(message)));
        DictationSection section(*rig.context);
        QSignalSpy done(&section, &DictationSection::filesDone);
        section.transcribeFiles({audio});
        QVERIFY(done.count() == 1 || done.wait(10000));
        QCOMPARE(section.errorText(), message);
        QCOMPARE(section.errorActionText(), action);
        section.triggerErrorAction();
        QCOMPARE(rig.navigation.selection(), action.isEmpty() ? MacSection::dictation : MacSection::settings);
    }
};

QTEST_MAIN(TestDictationSection)
#include "tst_dictationsection.moc"
