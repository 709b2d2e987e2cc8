#include "SectionRig.h"
#include "store/AppSettingsKeys.h"
#include "ui/sections/CloudSyncPane.h"
#include "ui/sections/SettingsSection.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

class TestCloudSyncPane : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { qunsetenv("OVRA_CLOUD_DIR"); }

    void folderAndSyncNow()
    {
        SectionRig rig;
        Services& s = *rig.services;
        CloudSyncPane pane(*rig.context, s.cloudSync(), s.keyBackup(), &s.settingsSync());
        QVERIFY(pane.folderField()->text().isEmpty());
        pane.syncNow();
        QTRY_VERIFY(pane.syncStatus()->text().startsWith(QStringLiteral("iCloud Drive n'est pas disponible")));

        QTemporaryDir cloud;
        pane.chooseFolder(cloud.path());
        QCOMPARE(rig.settings().stringValue(AppSettingsKey::cloudFolder, QString()), cloud.path());
        QCOMPARE(pane.folderField()->text(), cloud.path());
        QVERIFY(rig.store().insert(Note{}));
        pane.syncNow();
        QTRY_VERIFY(pane.syncStatus()->text().startsWith(QStringLiteral("Données envoyées vers iCloud.")));
        QVERIFY(pane.syncStatus()->text().contains(QStringLiteral("Dernière synchronisation : ")));
        QVERIFY(pane.syncButton()->isEnabled());
        QVERIFY(QFileInfo::exists(cloud.filePath(QStringLiteral("Documents/ovra-data.json"))));
        // A picture of the pane to look at, when asked for (OVRA_SHOTS_DIR).
        if (const QString shots = qEnvironmentVariable("OVRA_SHOTS_DIR"); !shots.isEmpty()) {
            pane.resize(640, pane.sizeHint().height());
            QVERIFY(pane.grab().save(QDir(shots).filePath(QStringLiteral("cloud-sync-pane.png"))));
        }
    }

    void keyBackupButtons()
    {
        SectionRig rig;
        Services& s = *rig.services;
        CloudSyncPane pane(*rig.context, s.cloudSync(), s.keyBackup(), &s.settingsSync());
        QCOMPARE(pane.backupStatus()->text(), QStringLiteral("Aucune sauvegarde des clés sur ce poste."));
        const QString phrase = QStringLiteral("trois mots assez longs");

        struct Step
        {
            std::function<void()> act;
            QString message;
        };
        const QList<Step> steps{
            {[&] { pane.createBackup(phrase, QStringLiteral("autre chose")); },
             QStringLiteral("Les deux saisies diffèrent : rien n'a changé.")},
            {[&] { pane.createBackup(QStringLiteral("court"), QStringLiteral("court")); },
             QStringLiteral("La phrase de passe doit compter au moins 12 caractères")},
            {[&] { pane.createBackup(phrase, phrase); }, QStringLiteral("Sauvegarde créée")},
            {[&] { pane.restoreKeys(QStringLiteral("pas la bonne")); }, QStringLiteral("Incorrect backup password")},
            {[&] { pane.restoreKeys(phrase); }, QStringLiteral("Clés restaurées dans le trousseau.")},
            {[&] { pane.changePassword(phrase, phrase + phrase, phrase); },
             QStringLiteral("Les deux saisies diffèrent")},
            {[&] { pane.changePassword(phrase, phrase + phrase, phrase + phrase); },
             QStringLiteral("Phrase de passe changée.")},
            {[&] { pane.deleteBackup(); }, QStringLiteral("Sauvegarde supprimée.")},
        };
        for (const Step& step : steps) {
            step.act();
            QVERIFY2(pane.backupMessage()->text().startsWith(step.message), qPrintable(pane.backupMessage()->text()));
            if (step.message == QLatin1String("Sauvegarde créée"))
                QVERIFY(pane.backupStatus()->text().startsWith(QStringLiteral("Sauvegarde du ")));
        }
        QCOMPARE(pane.backupStatus()->text(), QStringLiteral("Aucune sauvegarde des clés sur ce poste."));
    }

    void shownInTheSettings()
    {
        SectionRig rig;
        SettingsSection without(*rig.context);
        QVERIFY(!without.findChild<CloudSyncPane*>());
        rig.context->cloudSync = &rig.services->cloudSync();
        rig.context->keyBackup = &rig.services->keyBackup();
        SettingsSection with(*rig.context);
        QVERIFY(with.findChild<CloudSyncPane*>());
    }
};

QTEST_MAIN(TestCloudSyncPane)
#include "tst_cloudsyncpane.moc"
