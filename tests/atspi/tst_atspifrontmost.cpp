// The focused application followed on a real accessibility bus: two accessible programs whose
// windows are activated in turn.
#include "FakeBrowserProcess.h"
#include "platform/linux/atspi/AtspiFrontmostApplication.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {
const QString kBrowser = QStringLiteral("fake_accessible_browser");
const QString kEditor = QStringLiteral("editeur_essai");
} // namespace

class TestAtspiFrontmost : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void followsActivation()
    {
        // A second program under another file name, as a second application would be.
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString editorProgram = dir.filePath(kEditor);
        QVERIFY(QFile::copy(QStringLiteral(FAKE_ACCESSIBLE_BROWSER), editorProgram));
        QVERIFY(QFile::setPermissions(editorProgram, QFileDevice::ReadOwner | QFileDevice::ExeOwner));

        // Listening first: a program learns of the listeners as it starts.
        AtspiConnection bus;
        AtspiFrontmostApplication frontmost(bus);
        QVERIFY(frontmost.isAvailable());
        QStringList reported;
        frontmost.setActivationHandler([&](const QString& id) { reported << id; });

        FakeBrowserProcess browser({QStringLiteral("--name"), QStringLiteral("Navigateur"), QStringLiteral("--windows"),
                                    QStringLiteral("2")});
        FakeBrowserProcess editor({QStringLiteral("--name"), QStringLiteral("Éditeur"), QStringLiteral("--windows"),
                                   QStringLiteral("2"), QStringLiteral("--column"), QStringLiteral("2")},
                                  editorProgram);
        QVERIFY(browser.waitForLine(QStringLiteral("ready")));
        QVERIFY(editor.waitForLine(QStringLiteral("ready")));

        // A program may still be joining the bus when its window shows: switch between the
        // editor's windows until an activation is seen. (Without a window manager a Qt program
        // keeps believing its window active after another program took the focus, so each
        // step activates a window its program does not hold active.)
        int editorWindow = 0;
        QDeadlineTimer deadline(30000);
        for (int k = 0; !reported.contains(kEditor) && !deadline.hasExpired(); ++k) {
            editorWindow = k % 2;
            editor.send(QStringLiteral("activate %1").arg(editorWindow));
            editor.waitForLine(QStringLiteral("active %1").arg(editorWindow), 2000);
            QTest::qWait(50);
        }
        QTRY_COMPARE_WITH_TIMEOUT(reported.isEmpty() ? QString() : reported.last(), kEditor, 10000);
        QCOMPARE(frontmost.frontmostApplicationId(), kEditor);

        reported.clear();
        browser.send(QStringLiteral("activate 1"));
        QVERIFY(browser.waitForLine(QStringLiteral("active 1")));
        QTRY_VERIFY_WITH_TIMEOUT(reported.contains(kBrowser), 10000);
        QCOMPARE(reported.first(), kBrowser);
        QCOMPARE(frontmost.frontmostApplicationId(), kBrowser);

        // Another window of the same application is no new activation, the other application
        // is. (A program's last focus events may reach the bus after the next program's
        // activation, so only the order of changes is checked, not their count.)
        browser.send(QStringLiteral("activate 0"));
        QVERIFY(browser.waitForLine(QStringLiteral("active 0")));
        editorWindow = 1 - editorWindow;
        editor.send(QStringLiteral("activate %1").arg(editorWindow));
        QVERIFY(editor.waitForLine(QStringLiteral("active %1").arg(editorWindow)));
        QTRY_VERIFY_WITH_TIMEOUT(reported.contains(kEditor), 10000);
        QCOMPARE(reported.first(), kBrowser);
        for (qsizetype i = 1; i < reported.size(); ++i)
            QVERIFY2(reported.at(i) != reported.at(i - 1), qPrintable(reported.join(QLatin1Char(' '))));
    }

    void startsWithTheActiveWindow()
    {
        FakeBrowserProcess browser({QStringLiteral("--name"), QStringLiteral("Navigateur")});
        QVERIFY(browser.waitForLine(QStringLiteral("ready")));
        browser.send(QStringLiteral("activate 0"));
        QVERIFY(browser.waitForLine(QStringLiteral("active 0")));
        AtspiConnection bus;
        AtspiFrontmostApplication frontmost(bus);
        QTRY_COMPARE_WITH_TIMEOUT(frontmost.frontmostApplicationId(), kBrowser, 20000);
    }

    void unavailableWithoutAccessibilityBus()
    {
        AtspiConnection bus(QStringLiteral("unix:path=/nonexistent/ovra-atspi-bus"));
        AtspiFrontmostApplication frontmost(bus);
        QVERIFY(!frontmost.isAvailable());
        QCOMPARE(frontmost.frontmostApplicationId(), QString());
        bool called = false;
        frontmost.setActivationHandler([&](const QString&) { called = true; });
        QVERIFY(!called);
    }
};

QTEST_GUILESS_MAIN(TestAtspiFrontmost)
#include "tst_atspifrontmost.moc"
