// The statistics section over the composition root's services and a real CouchDB-compatible
// server (tests/rigs/with-couchdb.sh): the figures and the chart from the store, joining from
// the section, the user's line highlighted, "load more", leaving, other users' pseudos as plain
// text. Grabbed to stats-leaderboard.png (OVRA_SHOTS_DIR, else the working folder).
#include "SectionRig.h"
#include "leaderboard/CouchDBAdmin.h"
#include "network/Pricing.h"
#include "store/AppSettingsKeys.h"
#include "ui/sections/StatsSection.h"
#include "ui/widgets/WordsPerDayChart.h"

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

class TestStatsSection : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void figuresAndChart()
    {
        SectionRig rig;
        const QDateTime now = QDateTime::currentDateTime();
        for (const auto& [text, daysAgo] : {std::pair{QStringLiteral("un deux trois"), 0},
                                            std::pair{QStringLiteral("quatre cinq six sept"), 0},
                                            std::pair{QStringLiteral("huit neuf"), 5},
                                            std::pair{QStringLiteral("trop vieux pour le graphique"), 40}}) {
            Transcription t;
            t.text = text;
            t.duration = 2;
            t.createdAt = now.addDays(-daysAgo).toUTC();
            QVERIFY(rig.store().insert(t));
        }
        StatsSection section(*rig.context);
        section.activated();
        QCOMPARE(section.figureText("totalCount"), "4");
        QCOMPARE(section.figureText("totalWords"), "14");
        QCOMPARE(section.figureText("allTimeCostUSD"), formatCost(0));
        const QList<qint64> days = section.chart()->values();
        QCOMPARE(days.size(), 30);
        QCOMPARE(days.last(), 7);
        QCOMPARE(days[29 - 5], 2);
        // Without a leaderboard server the section says how to join one.
        QVERIFY(!section.boardTable()->isVisibleTo(&section));
        QVERIFY(!section.joinButton()->isVisibleTo(&section));
    }

    void leaderboard()
    {
        if (serverUrl().isEmpty())
            QSKIP("needs tests/rigs/with-couchdb.sh");
        Admin admin;
        const QString db = admin.createDatabase("section");
        QJsonArray seeded = others(60, 5000);
        seeded.append(QJsonObject{{"_id", "classement-balise"}, {"type", "OvraClassement"},
                                  {"pseudo", "<b>gras</b>"}, {"mots", 6000}, {"majLe", "2026-12-01T10:00:00.000Z"}});
        QVERIFY(admin.bulk("section", seeded));

        SectionRig rig;
        rig.context->leaderboard = &rig.services->leaderboard();
        rig.settings().setValue(AppSettingsKey::leaderboardURL, db);
        Transcription t;
        t.text = QStringList(4925, QStringLiteral("mot")).join(' ');
        QVERIFY(rig.store().insert(t));
        StatsSection section(*rig.context);
        section.resize(900, 1100);
        section.show();
        section.activated();
        QVERIFY(section.joinButton()->isVisible());

        section.joinNameEdit()->setText("camille");
        section.joinPasswordEdit()->setText("secret");
        section.joinButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(section.boardTable()->isVisible(), 20000);
        QTRY_COMPARE_WITH_TIMEOUT(section.rankLabel()->text(), QStringLiteral("Ton rang : 10"), 20000);
        QCOMPARE(section.boardTable()->rowCount(), 50);
        QCOMPARE(section.boardTable()->item(0, 1)->text(), "<b>gras</b>");
        QCOMPARE(section.boardTable()->item(9, 1)->text(), "camille (toi)");
        QVERIFY(section.boardTable()->item(9, 1)->font().bold());
        QVERIFY(!section.boardTable()->item(8, 1)->font().bold());
        QVERIFY(section.loadMoreButton()->isVisible());
        QVERIFY(section.takePartBox()->isChecked());

        QCoreApplication::processEvents(); // pending layouts, before the grab
        const QString shots = qEnvironmentVariable("OVRA_SHOTS_DIR", QDir::currentPath());
        QVERIFY(section.grab().save(QDir(shots).filePath("stats-leaderboard.png")));

        section.loadMoreButton()->click();
        QTRY_COMPARE_WITH_TIMEOUT(section.boardTable()->rowCount(), 62, 20000);
        QTRY_VERIFY(!section.loadMoreButton()->isVisible());

        // Leaving deletes the record; the next refresh no longer lists it.
        section.takePartBox()->click();
        QTRY_VERIFY_WITH_TIMEOUT(!admin.document("section", "classement-camille"), 20000);
        section.activated();
        QTRY_COMPARE_WITH_TIMEOUT(section.boardTable()->rowCount(), 50, 20000);
        QTRY_VERIFY(!rig.services->leaderboard().isLoading());
        for (int row = 0; row < section.boardTable()->rowCount(); ++row)
            QVERIFY(!section.boardTable()->item(row, 1)->text().endsWith("(toi)"));
        QVERIFY(!admin.document("section", "classement-camille"));
    }
};

QTEST_MAIN(TestStatsSection)
#include "tst_statssection.moc"
