// Application icon variants are unlocked by the words dictated: a locked choice is shown but
// cannot be picked, and a stored choice that is not unlocked (yet, or any more) gives the default.
#include "stats/StatsSnapshot.h"
#include "store/AppSettingsKeys.h"
#include "store/Settings.h"
#include "ui/AppIconPicker.h"

#include <QApplication>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTest>

class AppIconPickerTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void unlockedByWords_data()
    {
        QTest::addColumn<qint64>("words"); // -1: no statistics published yet
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<int>("pickable");
        QTest::newRow("no statistics") << qint64(-1) << "dark" << "" << 1;
        QTest::newRow("999 words") << qint64(999) << "dark" << "" << 1;
        QTest::newRow("1,000 words") << qint64(1000) << "dark" << "dark" << 2;
        QTest::newRow("sunset still locked") << qint64(5000) << "sunset" << "" << 2;
        QTest::newRow("everything") << qint64(10000) << "sunset" << "sunset" << 3;
        QTest::newRow("unknown choice") << qint64(10000) << "neon" << "" << 3;
    }
    void unlockedByWords()
    {
        QFETCH(qint64, words);
        QFETCH(QString, stored);
        QFETCH(QString, chosen);
        QFETCH(int, pickable);
        QTemporaryDir dir;
        Settings settings(dir.path());
        if (words >= 0) {
            StatsSnapshot snapshot;
            snapshot.stats.totalWords = words;
            snapshot.generatedAt = QDateTime::currentDateTimeUtc();
            writeSnapshot(settings, snapshot);
        }
        settings.setValue(AppSettingsKey::appIcon, stored);
        QCOMPARE(AppIconPicker::chosen(settings), chosen);

        AppIconPicker picker(settings);
        auto* list = picker.findChild<QListWidget*>("appIcons");
        QVERIFY(list);
        int enabled = 0;
        for (int i = 0; i < list->count(); ++i) {
            const bool on = list->item(i)->flags() & Qt::ItemIsEnabled;
            enabled += on;
            QCOMPARE(list->item(i)->toolTip().startsWith("Débloquée à "), !on);
        }
        QCOMPARE(enabled, pickable);
    }
};

QTEST_MAIN(AppIconPickerTest)
#include "tst_appiconpicker.moc"
